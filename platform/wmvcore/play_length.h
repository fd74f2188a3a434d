// The runtime's "Duration" attribute: the play length in 100-ns units, as
// TagLib's readers tell it. TagLib is shown only the first frame of an MPEG
// file's audio, never its tags, which the editor has read already.
#pragma once

#include "attribute_list.h"
#include "media_file.h"
#include "mpeg_probe.h"

namespace TagLib {
class AudioProperties;
}

namespace platform {

// Adds "Duration" (QWORD, stream 0) for a play length that `properties`
// tell; nothing when they are null or tell none. False when the list is
// full.
bool AddDuration(const TagLib::AudioProperties* properties, AttributeList& attributes);

// Adds the Duration of the audio that the probe found in `file`: from the
// frame count of a Xing or VBRI header in its first frame, or else from the
// first frame's bit rate over the audio's bytes. Nothing for a file without
// frames.
bool AddMpegDuration(const MediaFile& file, const MpegProbe& probe, AttributeList& attributes);

}  // namespace platform
