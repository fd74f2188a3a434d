// Resource files and ELF files written by the tests, so that the reader can
// be given exactly the layout a case needs.
#pragma once

#include "winapi.h"

#include <string>
#include <vector>

namespace trellan::test {

// A type or name of a resource entry: an ordinal, or a text written as is.
struct ResId {
    ResId(WORD number) : number(number) {}
    ResId(const char16_t* text) : text(text), isText(true) {}
    WORD number = 0;
    std::u16string text;
    bool isText = false;
};

// A compiled resource file as windres lays it out: the empty marker entry,
// then each entry's header and data, each padded to 4 bytes.
class ResFile {
public:
    ResFile();
    ResFile& Add(ResId type, ResId name, WORD language, const std::string& data);
    const std::vector<BYTE>& Bytes() const { return bytes; }

private:
    void Entry(const ResId& type, const ResId& name, WORD language, const std::string& data);
    std::vector<BYTE> bytes;
};

// An ELF file of the given class with a names section and one section
// `sectionName` holding `content`.
std::vector<BYTE> MakeElf(bool sixtyFourBit, const std::vector<BYTE>& content,
                          const std::string& sectionName = ".rsrc");

}  // namespace trellan::test
