// An APE tag (version 1 or 2) at the end of an MPEG file, as gain and
// tagging tools write it: before a Lyrics3 tag and an ID3v1 tag, where those
// are. Its text items that give attributes are kept and rebuilt for TagLib
// as a tag of their own (items and footer); binary items such as cover art,
// and the others, are neither read nor kept.
#pragma once

#include "header_limits.h"
#include "media_file.h"

#include <string>
#include <vector>

namespace platform {

// An item key that gives an attribute, and the attribute's name.
struct ApeRow {
    const char* key;  // as TagLib keys its items: in upper case
    const char16_t* attributeName;
    bool year;  // the value is a date, of which the year is given
};

struct ApeTag {
    std::vector<BYTE> rebuilt;        // the kept items and a footer; empty when nothing is kept
    std::vector<const ApeRow*> rows;  // the kept keys, each once, in file order
    // Where the tags at the end of the file begin: the APE tag, a Lyrics3
    // tag, or else the ID3v1 tag or the end of the file.
    uint64_t start = 0;
};

// Reads the APE tag that ends at `end` (where an ID3v1 tag begins, or the
// file ends), or before a Lyrics3 tag that ends there, and begins after
// `notBefore` (where the ID3v2 tag ends), into `tag`. An item that runs out
// of the tag is left out with those after it; the items before it are kept.
// overLimit when what it keeps is over the limits.
HRESULT ReadApeTag(const MediaFile& file, uint64_t end, uint64_t notBefore, ApeTag& tag, HeaderBudget& budget);

}  // namespace platform
