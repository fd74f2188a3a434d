// A filtered file turned into what the index stores: its four texts routed
// by property (the contents, the title, the author, the comments), in UTF-8.
#pragma once

#include "filtering/file_record.h"
#include "index/store/database.h"

namespace host::index {

// The entry to store for a filtered file, its texts in UTF-8, with the
// media properties the runtime reads from it. Made on the thread that
// filtered the file, so that the single writer has less to do.
IndexEntry EntryFromRecord(const FileRecord& record, const FileStamp& stamp);

// A path as the file system's bytes (the code page of file names);
// PathFromListBytes turns them back.
std::string PathBytes(std::u16string_view path);

// A path of the index (the file system's bytes) for people: control
// characters escaped.
std::string PrintablePath(std::string_view bytes);

}  // namespace host::index
