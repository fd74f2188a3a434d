// One file through a filter: bind, initialise, walk every chunk.
#pragma once

#include "winapi.h"

#include <string>
#include <vector>

namespace host {

struct ChunkRecord {
    STAT_CHUNK stat{};
    std::u16string text;       // text chunks: every unit GetText returned
    HRESULT valueStatus = S_OK;  // value chunks: what GetValue answered
    VARTYPE valueType = VT_EMPTY;
    std::u16string value;      // value chunks: the VT_LPWSTR string
};

struct FileRecord {
    std::u16string path;
    HRESULT status = S_OK;     // the first failure: lookup, creation, Load or Init
    std::string problem;       // what went wrong before the filter ran, in words
    std::vector<ChunkRecord> chunks;
};

// Walks `filter` bound to `path`. Text is read `bufferUnits` units at a
// time. The walk stops at FILTER_E_END_OF_CHUNKS, at any other failure of
// GetChunk, or after `maximumChunks` chunks.
void WalkFile(IFilter* filter, FileRecord& record, ULONG bufferUnits, size_t maximumChunks = 10000);

}  // namespace host
