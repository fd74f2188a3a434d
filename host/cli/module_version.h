// The version of a module, read from its version resource.
#pragma once

#include <string>

namespace host {

// "1.0.0.75", from the fixed part of the module's VS_VERSION_INFO; false
// when the module cannot be read or carries no version.
bool ReadModuleVersion(const std::u16string& modulePath, std::string& version);

}  // namespace host
