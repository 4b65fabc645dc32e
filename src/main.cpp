#include "app/run.h"
#include "service/process_exit.h"

int main(int argc, char** argv) { corvex::endProcess(corvex::runCorvex(argc, argv)); }
