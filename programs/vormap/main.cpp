#include "programs/vormap/command_line.h"

int main(int argc, char** argv) { return vormap::vormap_main(argc, argv); }
