// Reads the attributes of a media file, whatever its format: the format is
// told by content, not by the file's extension.
#pragma once

#include "attribute_list.h"

#include <string>

namespace platform {

// S_OK with the file's attributes, or the failure: NS_E_FILE_NOT_FOUND,
// E_ACCESSDENIED, NS_E_FILE_OPEN_FAILED (not a regular file, or it cannot
// be read), NS_E_INVALID_INPUT_FORMAT (not ASF or MPEG audio, damaged, or
// over the editor's limits), E_OUTOFMEMORY (the memory that reading it
// takes cannot be had now).
HRESULT ReadMediaAttributes(const std::string& path, AttributeList& attributes);

}  // namespace platform
