// The CLI's commands. Each takes the arguments after its name and answers
// the process exit code.
#pragma once

#include <string>
#include <vector>

namespace host {

using Arguments = std::vector<std::u16string>;

int RunDump(const Arguments& args);
int RunRegister(const Arguments& args);
int RunUnregister(const Arguments& args);

}  // namespace host
