// The structure of an ASF header, checked before TagLib reads its values:
// every object and every attribute record must lie inside its parent, so a
// truncated or damaged header is refused instead of half-read, and the
// header must keep to the editor's limits. The walk also records the
// attribute records in file order, which TagLib's name-keyed map does not
// keep, and keeps the header's bytes, which are all that TagLib is given.
#pragma once

#include "header_limits.h"
#include "media_file.h"

#include <string>
#include <vector>

namespace platform {

// One record of an Extended Content Description, Metadata or Metadata
// Library object, in the order the file holds them.
struct AsfAttributeRecord {
    std::u16string name;
    WORD stream = 0;
    WORD language = 0;
};

struct AsfLayout {
    bool hasContentDescription = false;
    std::vector<AsfAttributeRecord> records;
    std::vector<BYTE> header;  // the whole Header Object
    HeaderBudget budget;
};

// The first 16 bytes of `head` are the ASF Header Object's id.
bool StartsWithAsfHeader(const std::vector<BYTE>& head);

// Reads and checks the Header Object of `file`; NS_E_INVALID_INPUT_FORMAT
// when anything in it is out of bounds or over the limits.
HRESULT ReadAsfLayout(const MediaFile& file, AsfLayout& layout);

}  // namespace platform
