// One file through a filter: bind, initialise, walk every chunk.
#pragma once

#include "filtering/file_record.h"

namespace host {

// Binds `filter` to the record's file as `binding` says and walks it: a
// stream over the file (the record's own when it has one, else one made
// here and kept in the record) through IPersistStream, or the
// path through IPersistFile. A file the host cannot open as a stream is the
// filter's FILTER_E_ACCESS, as the filter would have answered it by path;
// a filter that must be bound by stream and cannot be is E_NOINTERFACE,
// with a cause that says so. Text is read `bufferUnits` units at a time.
// The walk stops at FILTER_E_END_OF_CHUNKS, at any other failure of
// GetChunk, or after `maximumChunks` chunks.
void WalkFile(IFilter* filter, FileRecord& record, ULONG bufferUnits, Binding binding = Binding::automatic,
              size_t maximumChunks = 10000);

}  // namespace host
