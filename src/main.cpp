#include "app/process_exit.h"
#include "app/run.h"

int main(int argc, char** argv) { corvex::endProcess(corvex::runCorvex(argc, argv)); }
