// Attributes of an ASF file (.wma, .wmv, .asf), read with TagLib.
#pragma once

#include "asf_layout.h"
#include "attribute_list.h"

#include <string>

namespace platform {

// Lists the play length ("Duration", from the File Properties object, when
// it tells one), then the Content Description fields that hold text ("Title", "Author",
// "Copyright", "Description", "Rating", in this order), then every
// attribute of the Extended Content Description, Metadata and Metadata
// Library objects in the order of `layout`, with its own name, type,
// stream number and language index.
// TagLib reads the header's bytes that the layout walk kept, from memory.
HRESULT ReadAsfAttributes(const AsfLayout& layout, AttributeList& attributes);

}  // namespace platform
