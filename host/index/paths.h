// What the index knows a file by: its absolute path, and its size and last
// write time.
#pragma once

#include "index/database.h"
#include "filtering/input_files.h"

namespace host::index {

// `path` made absolute, so that it names the same file from any working
// folder.
std::u16string IndexedPath(std::u16string path);

// The size and time of the walk's file at `path`: from its folder's
// listing when the walk found it there, else from a look at the file.
// False when there is no file to look at (gone, or a folder).
bool StampOf(const InputFile& input, const std::u16string& path, FileStamp& stamp);

}  // namespace host::index
