// The play length through TagLib's audio properties. For MPEG, TagLib reads
// through a read-only stream over the audio alone: the tags before and after
// it are out of its sight, so they are neither looked for nor read again.
#include "play_length.h"

#include <taglib/audioproperties.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mpegfile.h>
#include <taglib/tiostream.h>

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

// One millisecond in the runtime's 100-ns units.
const QWORD unitsPerMillisecond = 10000;
// TagLib reads a frame header, a frame (for its Xing or VBRI header) or a
// 1 KiB block when it looks for frames; a longer read is cut, so that what
// TagLib might take for a tag in the audio cannot cost more memory.
const unsigned long longestRead = 64 * 1024;
// Where TagLib looks for tags at the end: an ID3v1 tag in the last 128
// bytes, an APE tag's 32-byte footer before it.
const uint64_t id3v1Size = 128;
const uint64_t apeFooterSize = 32;
// Look-alikes ended before, at most: more is no audio worth measuring.
const int mostLookAlikes = 8;

// [start, end) of a file, read-only, as TagLib reads a file.
class AudioStream final : public TagLib::IOStream {
public:
    AudioStream(const MediaFile& file, uint64_t start, uint64_t end) : file(file), start(start), size(end - start) {}

    TagLib::FileName name() const override { return ""; }
    TagLib::ByteVector readBlock(unsigned long length) override
    {
        const uint64_t count = std::min<uint64_t>({length, longestRead, size - position});
        TagLib::ByteVector bytes(static_cast<unsigned int>(count), 0);
        if (count > 0 && !file.ReadInto(start + position, static_cast<size_t>(count), reinterpret_cast<BYTE*>(bytes.data())))
            return TagLib::ByteVector();
        position += count;
        return bytes;
    }
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return true; }
    // A position outside the stream is taken as its nearer end.
    void seek(long offset, Position from) override
    {
        const long long base = from == Beginning ? 0 : from == Current ? static_cast<long long>(position)
                                                                       : static_cast<long long>(size);
        const long long target = base + offset;
        position = target < 0 ? 0 : std::min<uint64_t>(static_cast<uint64_t>(target), size);
    }
    long tell() const override { return static_cast<long>(position); }
    long length() override { return static_cast<long>(size); }
    void truncate(long) override {}

private:
    const MediaFile& file;
    uint64_t start;
    uint64_t size;
    uint64_t position = 0;
};

bool Holds(const MediaFile& file, uint64_t offset, const char* text)
{
    const size_t length = std::strlen(text);
    BYTE bytes[8];
    return file.ReadInto(offset, length, bytes) && std::memcmp(bytes, text, length) == 0;
}

// Moves `end` before whatever TagLib would take for an ID3v1 tag or an APE
// tag's footer at the end of [start, end): the probe found no readable tag
// there, and TagLib is not to read one. False when there are too many.
bool EndBeforeTagLookAlikes(const MediaFile& file, uint64_t start, uint64_t& end)
{
    for (int count = 0; count < mostLookAlikes; ++count) {
        if (end - start >= id3v1Size && Holds(file, end - id3v1Size, "TAG"))
            end -= id3v1Size;
        else if (end - start >= apeFooterSize && Holds(file, end - apeFooterSize, "APETAGEX"))
            end -= apeFooterSize;
        else
            return true;
    }
    return false;
}

}  // namespace

bool AddDuration(const TagLib::AudioProperties* properties, AttributeList& attributes)
{
    // TagLib tells an unknown length as 0 (and a length it cannot hold in an
    // int as a negative one).
    const int milliseconds = properties ? properties->lengthInMilliseconds() : 0;
    if (milliseconds <= 0)
        return true;
    MediaAttribute duration;
    duration.name = u"Duration";
    duration.type = WMT_TYPE_QWORD;
    duration.value = QwordValue(static_cast<QWORD>(milliseconds) * unitsPerMillisecond);
    return attributes.Add(std::move(duration));
}

bool AddMpegDuration(const MediaFile& file, const MpegProbe& probe, AttributeList& attributes)
{
    uint64_t end = probe.audioEnd;
    if (!probe.measureAudio || end <= probe.audioStart || !EndBeforeTagLookAlikes(file, probe.audioStart, end))
        return true;
    AudioStream stream(file, probe.audioStart, end);
    const TagLib::MPEG::File mpeg(&stream, TagLib::ID3v2::FrameFactory::instance(), true, TagLib::AudioProperties::Fast);
    return AddDuration(mpeg.isValid() ? mpeg.audioProperties() : nullptr, attributes);
}

}  // namespace platform
