// The ID3v2 tag at the start of an MPEG file, checked frame by frame before
// TagLib reads it: the header, the frames and the editor's limits. A frame
// with an id that is not valid, or that runs past the tag, is left out with
// what cannot be found after it, never the frames before it. The tag is read from the file frame by
// frame: only the frames that give attributes are read, and a picture's
// data is left in the file. TagLib is then given the tag as the walk
// understood it, rebuilt in memory: unsynchronisation undone, the extended
// header left out, every frame's size written in its version's own form,
// text that TagLib would drop repaired, pictures without their data, and
// nothing after the last frame but padding.
#pragma once

#include "header_limits.h"
#include "media_file.h"
#include "tag_bytes.h"

#include <vector>

namespace platform {

// True when the file begins with the ID3v2 identifier "ID3".
bool StartsWithId3v2(const std::vector<BYTE>& head);

struct Id3v2Tag {
    std::vector<BYTE> rebuilt;  // the tag that TagLib reads
    // For each picture frame of the rebuilt tag, in order: its data, left in
    // the file (empty for a frame kept whole).
    std::vector<StoredBytes> pictures;
    uint64_t end = 0;  // where the tag ends in the file
    // Its first frame was damaged and nothing after it could be found: the
    // tag gives nothing, and the file is read only for what else it holds.
    bool readNothing = false;
};

// Reads the tag at `start` in `file` (the file's start, or a RIFF chunk's
// data) and counts what it keeps into `budget`. NS_E_INVALID_INPUT_FORMAT
// when its header is not a tag's or the tag runs past the file; overLimit
// when what it keeps is over the limits. Damaged frames are left out.
HRESULT ReadId3v2Tag(const MediaFile& file, uint64_t start, Id3v2Tag& tag, HeaderBudget& budget);

}  // namespace platform
