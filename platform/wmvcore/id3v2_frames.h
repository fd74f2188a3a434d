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
    // `allUnsynchronised`: a 2.4 tag whose header says that every frame is
    // unsynchronised.
    TagRebuilder(int major, bool allUnsynchronised, HeaderBudget& budget, std::vector<BYTE>& out)
        : major(major), allUnsynchronised(allUnsynchronised), budget(budget), out(out)
    {
    }

    // Undoes what the flags of a text frame (`frame.size` bytes of data) did
    // to it, checks it against the limits, repairs its text and appends it
    // plain: S_OK or overLimit. A frame that no reader can read (encrypted,
    // too short for what its flags promise, compressed data that does not
    // inflate, a text encoding that no version defines) is left out.
    HRESULT AppendText(const FrameSpan& frame, const BYTE* data);

    // Appends a picture frame: the fields before its data, with the data
    // left in the file (`pictureData`); a compressed frame whole, within the
    // limits. An encrypted picture, or a compressed one over the limits, is
    // left out (`appended` false); S_OK but for a read that fails or a tag
    // over the attribute limits.
    HRESULT AppendPicture(const FrameSpan& frame, const MediaFile& file, ByteSource& body, StoredBytes& pictureData,
                          bool& appended);

private:
    enum class Unpacked { Kept, Dropped, OverLimit };

    bool Compressed(WORD flags) const;
    bool Encrypted(WORD flags) const;
    bool Unsynchronised(WORD flags) const;
    // Moves `bytes` and `size` to the frame's data with its flags undone:
    // the bytes before the data left out, the 2.4 unsynchronisation undone,
    // compressed data inflated (into this object's buffers).
    Unpacked Unpack(const FrameSpan& frame, const BYTE*& bytes, size_t& size);
    void Emit(const BYTE* id, const BYTE* flags, const BYTE* data, DWORD size);

    int major;
    bool allUnsynchronised;
    HeaderBudget& budget;
    std::vector<BYTE>& out;
    std::vector<BYTE> repaired;
    std::vector<BYTE> resynchronised;
    std::vector<BYTE> inflated;
};

}  // namespace platform
