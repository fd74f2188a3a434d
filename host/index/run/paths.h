// What the index knows a file by: its absolute path, and its size, times
// and file number.
#pragma once

#include "index/store/database.h"
#include "filtering/input_files.h"

namespace host::index {

// `path` made absolute, so that it names the same file from any working
// folder.
std::u16string IndexedPath(std::u16string path);

// `path` with a leading "~" (alone, or before a separator) as the user's
// own folder, as a shell would have it on the command line: a query's
// dir:~/Music reaches no shell.
std::u16string HomeExpanded(std::u16string path);

// The size, times and file number of the file at `path` (the file system's
// bytes). False when there is no file to look at (gone, or a folder).
bool StampOf(const std::string& path, FileStamp& stamp);

// The same for the file `input`, at `path`: from its folder's listing where
// that gave them all (a link aside), else from the system.
bool StampOf(const InputFile& input, const std::string& path, FileStamp& stamp);

}  // namespace host::index
