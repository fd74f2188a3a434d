// The play length. ASF: from TagLib's audio properties, which it reads from
// the File Properties object. MPEG: from the first frame, read by TagLib's
// frame-header and Xing/VBRI readers, by the formulas of TagLib's MPEG
// properties; TagLib's MPEG file is not used, since it would look for the
// tags again and finds the last frame a byte at a time, which costs more
// than the rest of an Open.
#include "play_length.h"

#include "bare_taglib_file.h"

#include <taglib/audioproperties.h>
#include <taglib/mpegheader.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/xingheader.h>

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

// One millisecond and one second in the runtime's 100-ns units.
const double unitsPerMillisecond = 10000;
const double unitsPerSecond = 10000000;
// What of the first frame is read: its header, then a Xing header after the
// side information (at most 32 bytes, and 2 of CRC) or a VBRI header at 36,
// 16 and 32 bytes long; TagLib looks for them in what it is given.
const size_t firstFrameRead = 4 + 32 + 32;
// Longer than any play length (about 14,000 years), and far inside a QWORD.
const double longestDuration = 4.0e18;

bool AddDurationUnits(double units, AttributeList& attributes)
{
    if (!(units >= 1 && units < longestDuration))
        return true;
    MediaAttribute duration;
    duration.name = u"Duration";
    duration.type = WMT_TYPE_QWORD;
    duration.value = QwordValue(static_cast<QWORD>(std::llround(units)));
    return attributes.Add(std::move(duration));
}

}  // namespace

bool AddDuration(const TagLib::AudioProperties* properties, AttributeList& attributes)
{
    // TagLib tells an unknown length as 0.
    const int milliseconds = properties ? properties->lengthInMilliseconds() : 0;
    return milliseconds > 0 ? AddDurationUnits(milliseconds * unitsPerMillisecond, attributes) : true;
}

bool AddMpegDuration(const MediaFile& file, const MpegProbe& probe, AttributeList& attributes)
{
    if (!probe.measureAudio || probe.audioEnd <= probe.audioStart)
        return true;
    const uint64_t audioLength = probe.audioEnd - probe.audioStart;
    std::vector<BYTE> bytes;
    if (!file.Read(probe.audioStart, static_cast<size_t>(std::min<uint64_t>(audioLength, firstFrameRead)), bytes))
        return true;
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(reinterpret_cast<const char*>(bytes.data()), static_cast<unsigned int>(bytes.size())));
    BareTagLibFile frames(&stream);
    const TagLib::MPEG::Header first(&frames, 0, false);
    if (!first.isValid() || first.sampleRate() <= 0)
        return true;
    // A Xing or VBRI header in the first frame counts the frames: the length
    // of a stream of any bit rate. Without one the bit rate is taken as
    // constant, over the audio from the first frame to the tags at the end.
    // TagLib's reader of them is asked only when one of their ids is there.
    const auto holds = [&](const char* id) {
        return std::search(bytes.begin(), bytes.end(), id, id + 4) != bytes.end();
    };
    if (holds("Xing") || holds("Info") || holds("VBRI")) {
        const TagLib::MPEG::XingHeader xing(
            stream.data()->mid(0, static_cast<unsigned int>(std::max(first.frameLength(), 0))));
        if (xing.isValid() && first.samplesPerFrame() > 0)
            return AddDurationUnits(static_cast<double>(xing.totalFrames()) * first.samplesPerFrame() *
                                        unitsPerSecond / first.sampleRate(),
                                    attributes);
    }
    if (first.bitrate() > 0)  // kbit/s
        return AddDurationUnits(static_cast<double>(audioLength) * 8 * unitsPerMillisecond / first.bitrate(),
                                attributes);
    return true;
}

}  // namespace platform
