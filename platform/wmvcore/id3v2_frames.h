// The frames of an ID3v2 tag rebuilt one by one for TagLib: text frames kept
// whole, with their text repaired where TagLib would lose it; picture frames
// kept up to where their data begins, the data left in the file.
#pragma once

#include "header_limits.h"
#include "tag_bytes.h"

#include <vector>

namespace platform {

// What becomes of a frame.
enum class FrameKind {
    Skipped,  // gives no attribute: neither read nor kept
    Text,     // text frames, comments, lyrics, user texts: kept whole
    Picture,  // APIC (PIC in 2.2): the fields before the data kept, the data left in the file
};

FrameKind KindOfFrame(const BYTE* id, int major);

// One frame as the walk found it.
struct FrameSpan {
    BYTE id[4] = {};
    WORD flags = 0;         // the format flags; none in 2.2
    uint64_t position = 0;  // of its data in the tag body
    DWORD size = 0;
    FrameKind kind = FrameKind::Skipped;
};

class TagRebuilder {
public:
    TagRebuilder(int major, HeaderBudget& budget, std::vector<BYTE>& out) : major(major), budget(budget), out(out) {}

    // Checks a text frame's data (`frame.size` bytes) against the limits, repairs its text and
    // appends it: S_OK, overLimit, or NS_E_INVALID_INPUT_FORMAT for a
    // compressed frame that does not inflate within itself.
    HRESULT AppendText(const FrameSpan& frame, const BYTE* data);

    // Appends a picture frame: the fields before its data, with the data
    // left in the file (`pictureData`); a compressed frame whole, within the
    // limits. An encrypted picture, or a compressed one over the limits, is
    // left out (`appended` false); S_OK but for a read that fails or a tag
    // over the attribute limits.
    HRESULT AppendPicture(const FrameSpan& frame, const MediaFile& file, ByteSource& body, StoredBytes& pictureData,
                          bool& appended);

private:
    bool Compressed(WORD flags) const;
    void Emit(const BYTE* id, const BYTE* flags, const BYTE* data, DWORD size);

    int major;
    HeaderBudget& budget;
    std::vector<BYTE>& out;
    std::vector<BYTE> repaired;
};

}  // namespace platform
