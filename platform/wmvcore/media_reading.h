// Reads the attributes of a media file, whatever its format: the format is
// told by content, not by the file's extension.
#pragma once

#include "attribute_list.h"
#include "header_limits.h"
#include "media_file.h"


namespace platform {

// Reads the attributes of `file`, opened by the caller (by path or over a
// stream): S_OK, or the failure: NS_E_INVALID_INPUT_FORMAT (not ASF or MPEG
// audio, or damaged), overLimit (over the editor's limits), E_OUTOFMEMORY
// (the memory that reading it takes cannot be had now), NS_E_FILE_READ (a
// read failed, or the file or stream ended before its size). The file
// stays open while an attribute's value is left in it, to be read from
// there; otherwise, and on failure, it is closed.
// `admission` counts the memory that reading and serving the attributes
// takes while they are served.
HRESULT ReadMediaAttributes(MediaFile& file, AttributeList& attributes, ReadingAdmission& admission);

}  // namespace platform
