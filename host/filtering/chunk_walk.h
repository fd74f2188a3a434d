// One file through a filter: bind, initialise, walk every chunk.
#pragma once

#include "filtering/file_record.h"

namespace host {

// Walks `filter` bound to `path`. Text is read `bufferUnits` units at a
// time. The walk stops at FILTER_E_END_OF_CHUNKS, at any other failure of
// GetChunk, or after `maximumChunks` chunks.
void WalkFile(IFilter* filter, FileRecord& record, ULONG bufferUnits, size_t maximumChunks = 10000);

}  // namespace host
