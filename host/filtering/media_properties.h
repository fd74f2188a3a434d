// What a media file is, beyond the filter's four texts: its album, album
// artist, genre, composer, year, track and disc numbers and play length,
// and every other string attribute of its header. Read through the
// platform's metadata runtime, as the filter reads the header (the same
// editor or reader, the same header interface), by the job that filtered
// the file.
#pragma once

#include "winapi.h"

#include <cstdint>
#include <string>

namespace host {

struct MediaProperties {
    std::string album, albumArtist, genre, composer;  // UTF-8
    std::int64_t year = 0, track = 0, disc = 0;        // 0: not given
    std::int64_t duration = 0;                         // 100-ns units; 0: not known
    // The header's other string attributes, a line each: the name folded
    // (lower case, without a leading "WM/"), a tab, the value on one line.
    std::string others;

    bool operator==(const MediaProperties&) const = default;
};

// The properties of the media file at `path`, read through `stream` when
// the filter was given one (the runtime's synchronous reader, over the same
// stream), else by path (its metadata editor); false, with nothing read,
// when the runtime cannot open it (the filter has said why already).
bool ReadMediaProperties(const std::u16string& path, IStream* stream, MediaProperties& properties);

// A name as `tag:NAME:` takes it: lower case, a leading "wm/" dropped.
std::string FoldTagName(std::string_view name);

}  // namespace host
