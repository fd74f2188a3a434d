// Reads the attributes of a media file, whatever its format: the format is
// told by content, not by the file's extension.
#pragma once

#include "attribute_list.h"
#include "header_limits.h"
#include "media_file.h"

#include <string>

namespace platform {

// Opens `path` as `file` and reads its attributes: S_OK, or the failure:
// NS_E_FILE_NOT_FOUND, E_ACCESSDENIED, NS_E_FILE_OPEN_FAILED (not a
// regular file, or it cannot be read), NS_E_INVALID_INPUT_FORMAT (not ASF
// or MPEG audio, or damaged), overLimit (over the editor's limits),
// E_OUTOFMEMORY (the memory that reading it takes cannot be had now). The
// file stays open while an attribute's value is left in it, to be read from
// there; otherwise, and on failure, it is closed.
// `admission` counts the memory that reading and serving the attributes
// takes while they are served.
HRESULT ReadMediaAttributes(MediaFile& file, const std::string& path, AttributeList& attributes,
                            ReadingAdmission& admission);

}  // namespace platform
