// Decides by content whether a file is MPEG audio with readable tags.
// TagLib accepts almost anything as MPEG, so the editor checks for itself
// that the file begins with a well-formed ID3v2 tag, ends with an ID3v1
// tag, or holds a run of consecutive valid MPEG frame headers.
#pragma once

#include "ape_layout.h"
#include "header_limits.h"
#include "id3v2_layout.h"
#include "media_file.h"

#include <vector>

namespace platform {

struct MpegProbe {
    Id3v2Tag id3v2;           // the ID3v2 tag as TagLib reads it (see id3v2_layout.h); empty without one
    ApeTag ape;               // the kept items of an APE tag at the end (see ape_layout.h)
    std::vector<BYTE> id3v1;  // the 128 bytes of the ID3v1 tag, or empty
    // A run of MPEG frames, found after the ID3v2 tag (or in a file without
    // one, in its first 64 KiB): the audio, from its first frame to the tags
    // at the end, or to a RIFF tag chunk after it.
    bool hasFrames = false;
    uint64_t audioStart = 0;
    uint64_t audioEnd = 0;
    // Whether its play length is given: there are frames, and the tags leave
    // room for one attribute more.
    bool measureAudio = false;
    HeaderBudget budget;
};

// S_OK when the file is MPEG audio as above; NS_E_INVALID_INPUT_FORMAT
// when it is not, or when its ID3v2 tag is truncated or damaged; overLimit
// when what its tags keep is over the editor's limits.
HRESULT ProbeMpegFile(const MediaFile& file, MpegProbe& probe);

}  // namespace platform
