// A filtered file turned into what the index stores: its four texts routed
// by property (the contents, the title, the author, the comments), in UTF-8.
#pragma once

#include "chunk_walk.h"
#include "index_database.h"

namespace host::index {

IndexEntry EntryFromRecord(const FileRecord& record, const FileStamp& stamp);

// A path as the file system's bytes (the code page of file names) and back.
std::string PathBytes(std::u16string_view path);
std::u16string PathFromBytes(std::string_view bytes);

}  // namespace host::index
