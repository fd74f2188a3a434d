// Runs a file through the filter object as the indexing host does: Load,
// Init, then the chunk walk with GetChunk, GetText and GetValue.
#pragma once

#include "winapi.h"

#include <string>

namespace trellan::test {

struct FilterOutcome {
    HRESULT initResult = E_FAIL;
    std::u16string bodyText;  // chunk 1
    std::u16string title;     // chunk 2
    std::u16string author;    // chunk 3
    std::u16string comments;  // chunk 4
};

// Walks all chunks, checking each chunk's description and that the walk
// ends after the fourth; failures are reported through gtest. Text is read
// in pieces of `textBuffer` units.
FilterOutcome FilterFile(const std::string& path, ULONG textBuffer = 7);

}  // namespace trellan::test
