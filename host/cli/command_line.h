// The trellan command line, from its arguments (without the program's name)
// to its exit code.
#pragma once

#include "cli/commands.h"

namespace host {

// Global options (--registry, --version, --help), then one command with
// its arguments, checked against the command's syntax before it runs.
int RunCommandLine(const Arguments& args);

}  // namespace host
