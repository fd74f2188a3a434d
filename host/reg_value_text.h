// One value line of the .reg text format: @="text", "name"=dword:0000002a,
// "name"=hex:0a,1b, "name"=hex(7):..., "name"=- (delete).
#pragma once

#include "winapi.h"

#include <string>
#include <string_view>
#include <vector>

namespace host {

struct RegValueLine {
    std::u16string name;  // empty: the default value
    bool remove = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The line for a value, without its line break. Long hex data is wrapped
// with "\" continuations as the platform's editor does.
std::string FormatValueLine(const std::u16string& name, DWORD type, const std::vector<BYTE>& data);

// Reads one value line (continuations already joined). False with `error`
// saying what is wrong.
bool ParseValueLine(std::u16string_view line, RegValueLine* value, std::string* error);

}  // namespace host
