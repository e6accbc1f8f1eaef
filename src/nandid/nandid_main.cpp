#include <cstdio>

#include "nandid/nandid_command.h"

int main(int argc, char** argv) { return kzt::runNandidCommand(argc, argv, stdin, stdout, stderr); }
