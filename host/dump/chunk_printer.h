// Formats walked files as text for people or as one JSON object a line.
#pragma once

#include "filtering/file_record.h"

#include <string>

namespace host {

// Appends the record to `out`.
void FormatFileText(std::string& out, const FileRecord& record);
void FormatFileJson(std::string& out, const FileRecord& record);

// "{B725F130-47EF-101A-A5F1-02608C9EEBAC}"
std::string GuidText(REFGUID id);
void AppendGuidText(std::string& out, REFGUID id);

}  // namespace host
