// The stand-in's known folders, as the file system's bytes, for the parts of
// the stand-in that keep files of their own (the registry's database).
#pragma once

#include <string>

namespace platform::shell {

// ${XDG_DATA_HOME:-$HOME/.local/share}; "." when neither is set.
std::string LocalDataFolder();

// mkdir -p: `folder` and every folder above it. False when one could not
// be made.
bool CreateFolders(const std::string& folder);

}  // namespace platform::shell
