#include "app/run.h"

int main(int argc, char** argv) { return corvex::runCorvex(argc, argv); }
