// One value line of the .reg text format: @="text", "name"=dword:0000002a,
// "name"=hex:0a,1b, "name"=hex(7):..., "name"=- (delete). In strings and
// names \\ is a backslash, \" a quote, \n a line feed and \r a carriage
// return.
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

// The line for a value, without its line break, as the platform's editor
// writes it: long hex data wrapped with "\" continuations at 80 columns.
std::u16string FormatValueLine(std::u16string_view name, DWORD type, const std::vector<BYTE>& data);

// Reads one value line (continuations already joined); a comment (";...")
// may follow the value. `narrowStrings`: the file is REGEDIT4, whose hex(1),
// hex(2) and hex(7) data are 8-bit text, widened to UTF-16 here. False with
// `error` saying what is wrong.
bool ParseValueLine(std::u16string_view line, bool narrowStrings, RegValueLine* value, std::string* error);

}  // namespace host
