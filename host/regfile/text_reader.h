// Reading .reg text: the header ("Windows Registry Editor Version 5.00" or
// "REGEDIT4"), [KEY] and [-KEY] lines, value lines with their "\"
// continuations, comment lines (";" or "#") and comments after a key or a
// value. The whole text is read before anything is applied, so a malformed
// line refuses the whole file.
#pragma once

#include "regfile/key_path.h"
#include "regfile/value_line.h"
#include "text/text_decoding.h"

#include <vector>

namespace host {

struct RegEntry {
    enum Kind { CreateKey, DeleteKey, SetValue };
    int line = 0;
    Kind kind = CreateKey;
    RegistryPath path;   // of the key (CreateKey, DeleteKey)
    RegValueLine value;  // SetValue: a value of the last CreateKey's key
};

// Whether `beginning` can open .reg text: its first line that is neither
// blank nor a comment is the header (a TextKind's look).
Opening RegTextOpening(std::u16string_view beginning, bool whole, std::string* problem);

// False with `error` ("line 3: ...") at the first malformed line.
bool ReadRegText(std::u16string_view text, std::vector<RegEntry>* entries, std::string* error);

}  // namespace host
