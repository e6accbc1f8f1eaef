// SPDX-License-Identifier: GPL-2.0-or-later
#include <cstdio>

#include "inspect/inspect.h"

int main(int argc, char** argv) { return kzt::runInspectCommand(argc, argv, stdout, stderr); }
