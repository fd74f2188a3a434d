// The ID3v2 tag at the start of an MPEG file, checked frame by frame before
// TagLib reads it: the header, the frames (each with a valid id and inside
// the tag) and the editor's limits. TagLib is then given the tag as the
// walk understood it, rebuilt in memory: unsynchronisation undone, every
// frame's size written in its version's own form, invalid UTF-8 in text
// frames replaced by U+FFFD, and nothing after the last frame but padding.
#pragma once

#include "header_limits.h"
#include "media_file.h"

#include <vector>

namespace platform {

// True when the file begins with the ID3v2 identifier "ID3".
bool StartsWithId3v2(const std::vector<BYTE>& head);

// Reads the tag at the start of `file`, counts its frames into `budget`,
// fills `tag` with the rebuilt tag and `end` with the offset where the tag
// ends in the file. NS_E_INVALID_INPUT_FORMAT when the tag is truncated,
// damaged or over the limits.
HRESULT ReadId3v2Tag(const MediaFile& file, std::vector<BYTE>& tag, uint64_t& end, HeaderBudget& budget);

}  // namespace platform
