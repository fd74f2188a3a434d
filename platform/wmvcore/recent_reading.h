// The attributes of the file last closed on a thread, kept for one more
// open of the same, unchanged file. The index host opens every file twice,
// one after the other on one thread: its filter reads the texts, then the
// host reads the properties, each through an editor or a reader of its own,
// by path or through the same stream; the second open takes what the first
// read instead of reading the tags again. A stream from elsewhere than the
// stand-in's own stream over a file has no identity and is never kept.
#pragma once

#include "attribute_list.h"
#include "header_limits.h"
#include "media_file.h"

#include <string>

namespace platform {

// True, with `attributes` filled (and `file` open where a value is left in
// it), when the file last closed on this thread was `path` and has not
// changed since it was read. Whatever was kept is given up either way.
// What they take is not admitted again: it is in memory already.
bool ReopenRecent(const std::string& path, MediaFile& file, AttributeList& attributes, ReadingAdmission& admission);

// The same for `file`, open over a stream: true when the file last closed
// on this thread has its identity (device, file number, size, times), a
// value left in it then read through the stream.
bool ReopenRecent(MediaFile& file, AttributeList& attributes, ReadingAdmission& admission);

// Keeps the attributes of `path` (empty: read through a stream), read from `file` as it was when opened,
// for the next open on this thread; `attributes` is left empty.
void KeepRecent(const std::string& path, const MediaFile& file, AttributeList& attributes);

}  // namespace platform
