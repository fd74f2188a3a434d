// The structure of an ASF header, checked before TagLib reads its values:
// an object or attribute record that runs past its parent is left out with
// what follows it in that parent (nothing shows where the next would
// begin), the ones before it kept; what is kept must keep to the editor's
// limits. The header is read from the file
// object by object. The walk records the attribute records in file order,
// which TagLib's name-keyed map does not keep, and rebuilds the header for
// TagLib from the objects that hold attributes, with the values of binary
// records left in the file.
#pragma once

#include "header_limits.h"
#include "media_file.h"
#include "tag_bytes.h"

#include <string>
#include <vector>

namespace platform {

// One record of an Extended Content Description, Metadata or Metadata
// Library object, in the order the file holds them.
struct AsfAttributeRecord {
    std::u16string name;
    WORD stream = 0;
    WORD language = 0;
    StoredBytes inFile;  // the value of a binary record, left in the file
};

struct AsfLayout {
    bool hasContentDescription = false;
    std::vector<AsfAttributeRecord> records;
    // The Header Object as TagLib reads it: the Content Description, the
    // Extended Content Description and the Header Extension with its
    // Metadata and Metadata Library objects, binary values left out.
    std::vector<BYTE> header;
    HeaderBudget budget;
};

// The first 16 bytes of `head` are the ASF Header Object's id.
bool StartsWithAsfHeader(const std::vector<BYTE>& head);

// Reads and checks the Header Object of `file`; NS_E_INVALID_INPUT_FORMAT
// when the Header Object runs past the file or its first object is
// damaged, overLimit when what it keeps is over the limits.
HRESULT ReadAsfLayout(const MediaFile& file, AsfLayout& layout);

}  // namespace platform
