// The host's helper programs (Linux): the filter workers' and the index
// runs', which lie beside the platform library.
#pragma once

#include <string>

namespace host {

// The path of the helper program `name`, in the folder of the platform
// library (the program's lib/trellan/ once installed, its build folder
// before); `name` alone where that folder cannot be learnt.
std::string HelperProgram(const char* name);

}  // namespace host
