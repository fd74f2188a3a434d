// Attributes of an MPEG audio file (.mp3), read with TagLib from its ID3v2
// tag and its ID3v1 tag, as the probe found them.
#pragma once

#include "attribute_list.h"
#include "media_file.h"
#include "mpeg_probe.h"

#include <taglib/tstringlist.h>

#include <string>

namespace platform {

// The play length ("Duration") comes first, when the probe found audio
// whose length TagLib can tell. Then the ID3v2 frames in file order under the runtime's names; frames
// with no such name are left out. Then the ID3v1 fields whose names the
// ID3v2 tag gives no text. The comment is the first comment frame without
// a description, or else the first with one; a TXXX frame whose name a
// standard frame or an ID3v1 field gives is left out. All attributes are
// file-level (stream 0).
HRESULT ReadMpegAttributes(const MediaFile& file, const MpegProbe& probe, AttributeList& attributes);

// A genre text as people read it: ID3v1 genre numbers ("17", "(17)") become
// their names, "RX" and "CR" become "Remix" and "Cover", and repeated
// names are given once. Several genres are joined with "; ".
std::u16string ResolveGenres(const TagLib::StringList& fields);

// The year of a recording time ("2004-05-06T10:00" gives "2004"); any other
// text is kept as it is.
std::u16string YearOf(const std::u16string& text);

}  // namespace platform
