// The trellan command line, from its arguments (without the program's name)
// to its exit code.
#pragma once

#include "cli/commands.h"

namespace host {

// Global options (--registry, --version, --help), then one command with
// its arguments, checked against the command's syntax before it runs.
// `handOffIndexRun`, where given, is called once the command is known to
// be `index`, before anything else; it returns only where it could not
// hand the run to another program, which then runs here.
int RunCommandLine(const Arguments& args, void (*handOffIndexRun)() = nullptr);

}  // namespace host
