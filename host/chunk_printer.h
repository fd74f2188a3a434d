// Prints walked files as text or as one JSON object per file.
#pragma once

#include "chunk_walk.h"

#include <cstdio>

namespace host {

void PrintFileText(FILE* out, const FileRecord& record);
void PrintFileJson(FILE* out, const FileRecord& record);

// "{B725F130-47EF-101A-A5F1-02608C9EEBAC}"
std::string GuidText(REFGUID id);

}  // namespace host
