// Decides by content whether a file is MPEG audio with readable tags.
// TagLib accepts almost anything as MPEG, so the editor checks for itself
// that the file begins with a well-formed ID3v2 tag, ends with an ID3v1
// tag, or holds a run of consecutive valid MPEG frame headers.
#pragma once

#include "media_file.h"

namespace platform {

struct MpegProbe {
    bool hasId3v2 = false;
    bool hasId3v1 = false;
    bool hasFrames = false;
};

// S_OK when the file is MPEG audio as above; NS_E_INVALID_INPUT_FORMAT
// when it is not, or when its ID3v2 tag is truncated or damaged.
HRESULT ProbeMpegFile(const MediaFile& file, MpegProbe& probe);

}  // namespace platform
