// A type library as read from the compiled format: the library's attributes
// and texts, and one record per type info. Read once, checked as a whole,
// then shared read-only by the ITypeLib and ITypeInfo objects.
#pragma once

#include <win32/typelib.h>

#include <string>
#include <vector>

namespace platform::typelib {

// An optional text: the format marks a missing one with offset -1.
struct Text {
    bool present = false;
    std::u16string value;
};

struct ImplementedType {
    HREFTYPE reference = 0;
    INT flags = 0;
};

struct TypeInfoRecord {
    HREFTYPE reference = 0;  // its own reference: its offset in the type-info table
    TYPEKIND kind = TKIND_ENUM;
    GUID guid{};
    Text name;
    Text helpString;
    DWORD helpContext = 0;
    DWORD helpStringContext = 0;
    WORD typeFlags = 0;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD functionCount = 0;
    WORD variableCount = 0;
    WORD vtableSize = 0;
    WORD alignment = 0;
    ULONG instanceSize = 0;
    // A coclass's interfaces, or an interface's base.
    std::vector<ImplementedType> implemented;
};

// A type that the library refers to in another library.
struct ImportedType {
    HREFTYPE reference = 0;
    TYPEKIND kind = TKIND_INTERFACE;
    bool guidKnown = false;
    GUID guid{};
    std::u16string fileName;
};

struct LibraryRecord {
    TLIBATTR attributes{};
    Text name;
    Text helpString;
    Text helpFile;
    DWORD helpContext = 0;
    DWORD helpStringContext = 0;
    std::vector<TypeInfoRecord> types;
    std::vector<ImportedType> imports;

    const TypeInfoRecord* LocalType(HREFTYPE reference, UINT* index = nullptr) const;
    const ImportedType* Import(HREFTYPE reference) const;
};

// Reads the "MSFT" image `data` of `size` bytes. S_OK, or
// TYPE_E_CANTLOADLIBRARY (not this format), TYPE_E_UNSUPFORMAT (another
// version of it), TYPE_E_INVDATAREAD (damaged or truncated).
HRESULT ReadTypeLibrary(const BYTE* data, size_t size, LibraryRecord& library);

}  // namespace platform::typelib
