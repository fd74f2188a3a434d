// Reading the compiled type-library format ("MSFT"). Every offset and length
// in the image is untrusted: each read is bounded against its table, and
// each table against the file, before any byte is touched.
#include "typelib_model.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform::typelib {
namespace {

constexpr DWORD magic = 0x5446534D;  // "MSFT"
constexpr DWORD none = 0xFFFFFFFF;
constexpr size_t headerInts = 21;
constexpr size_t typeInfoSize = 100;
constexpr size_t guidEntrySize = 24;
constexpr size_t referenceEntrySize = 16;
constexpr size_t importInfoSize = 12;
constexpr DWORD extraHeaderInt = 0x100;

// The table directory that follows the header, in file order.
enum Table {
    typeInfoTable,
    importInfoTable,
    importFileTable,
    referenceTable,
    guidHashTable,
    guidTable,
    nameHashTable,
    nameTable,
    stringTable,
    typeDescriptionTable,
    arrayDescriptionTable,
    customDataTable,
    customDataGuidTable,
    reserved1,
    reserved2,
    tableCount
};

// Header fields, by their 32-bit index.
enum HeaderField {
    headerMagic = 0,
    headerVersion = 1,
    headerLibraryGuid = 2,
    headerLcid = 3,
    headerVarFlags = 5,
    headerLibraryVersion = 6,
    headerFlags = 7,
    headerTypeCount = 8,
    headerHelpString = 9,
    headerHelpStringContext = 10,
    headerHelpContext = 11,
    headerName = 14,
    headerHelpFile = 15,
};

// Type-info fields, by their 32-bit index.
enum TypeInfoField {
    typeKind = 0,
    typeElementCount = 6,
    typeGuid = 11,
    typeFlags = 12,
    typeName = 13,
    typeVersion = 14,
    typeHelpString = 15,
    typeHelpStringContext = 16,
    typeHelpContext = 17,
    typeImplementedAndVtable = 19,
    typeInstanceSize = 20,
    typeDataType = 21,
};

struct Segment {
    size_t offset = 0;
    size_t length = 0;
};

class Image {
public:
    Image(const BYTE* data, size_t size) : data(data), size(size) {}

    bool Read32(size_t offset, DWORD& value) const
    {
        if (offset > size || size - offset < 4)
            return false;
        std::memcpy(&value, data + offset, 4);
        return true;
    }

    // Reads `length` bytes at `offset` of a table; false when they fall
    // outside it.
    bool TableBytes(const Segment& segment, DWORD offset, size_t length, const BYTE*& bytes) const
    {
        if (offset > segment.length || segment.length - offset < length)
            return false;
        bytes = data + segment.offset + offset;
        return true;
    }

    bool Table32(const Segment& segment, DWORD offset, DWORD& value) const
    {
        const BYTE* bytes = nullptr;
        if (!TableBytes(segment, offset, 4, bytes))
            return false;
        std::memcpy(&value, bytes, 4);
        return true;
    }

    bool Table16(const Segment& segment, DWORD offset, WORD& value) const
    {
        const BYTE* bytes = nullptr;
        if (!TableBytes(segment, offset, 2, bytes))
            return false;
        std::memcpy(&value, bytes, 2);
        return true;
    }

    size_t Size() const { return size; }

private:
    const BYTE* data;
    size_t size;
};

// 8-bit text of the format to UTF-16, byte for byte.
std::u16string Widen(const BYTE* bytes, size_t length)
{
    std::u16string text;
    text.reserve(length);
    for (size_t i = 0; i < length; ++i)
        text += static_cast<char16_t>(bytes[i]);
    return text;
}

class Reader {
public:
    Reader(const BYTE* data, size_t size, LibraryRecord& library) : image(data, size), library(library) {}

    HRESULT Read()
    {
        DWORD header[headerInts] = {};
        // Without the magic it is some other file; with it, a damaged one.
        if (!image.Read32(0, header[headerMagic]) || header[headerMagic] != magic)
            return TYPE_E_CANTLOADLIBRARY;
        for (size_t i = 1; i < headerInts; ++i)
            if (!image.Read32(i * 4, header[i]))
                return TYPE_E_INVDATAREAD;
        if ((header[headerVersion] >> 16) != 1)
            return TYPE_E_UNSUPFORMAT;
        size_t position = headerInts * 4 + ((header[headerVarFlags] & extraHeaderInt) ? 4 : 0);
        DWORD typeCount = header[headerTypeCount];
        if (typeCount > (image.Size() - std::min(position, image.Size())) / 4)
            return TYPE_E_INVDATAREAD;
        std::vector<DWORD> typeOffsets(typeCount);
        for (DWORD i = 0; i < typeCount; ++i, position += 4)
            if (!image.Read32(position, typeOffsets[i]))
                return TYPE_E_INVDATAREAD;
        if (!ReadDirectory(position))
            return TYPE_E_INVDATAREAD;
        if (!ReadLibrary(header))
            return TYPE_E_INVDATAREAD;
        library.types.resize(typeCount);
        for (DWORD i = 0; i < typeCount; ++i)
            if (!ReadTypeInfo(typeOffsets[i], library.types[i]))
                return TYPE_E_INVDATAREAD;
        // Every reference must lead somewhere: a type of this library or an
        // entry of the import table.
        for (TypeInfoRecord& type : library.types)
            for (const ImplementedType& implemented : type.implemented)
                if (!ResolveReference(implemented.reference))
                    return TYPE_E_INVDATAREAD;
        return S_OK;
    }

private:
    bool ReadDirectory(size_t position)
    {
        for (size_t table = 0; table < tableCount; ++table, position += 16) {
            DWORD offset = 0, length = 0;
            if (!image.Read32(position, offset) || !image.Read32(position + 4, length))
                return false;
            if (offset == none) {
                segments[table] = {};
                continue;
            }
            if (offset > image.Size() || image.Size() - offset < length)
                return false;
            segments[table] = {offset, length};
        }
        return true;
    }

    bool ReadGuid(DWORD offset, GUID& guid)
    {
        const BYTE* bytes = nullptr;
        if (!image.TableBytes(segments[guidTable], offset, sizeof(GUID), bytes))
            return false;
        std::memcpy(&guid, bytes, sizeof(GUID));
        return true;
    }

    // A name-table entry: reference, next in hash, length in the low byte,
    // then the characters.
    bool ReadName(DWORD offset, Text& text)
    {
        text = {};
        if (offset == none)
            return true;
        DWORD lengthField = 0;
        const BYTE* bytes = nullptr;
        if (offset > none - 12 || !image.Table32(segments[nameTable], offset + 8, lengthField))
            return false;
        size_t length = lengthField & 0xFF;
        if (!image.TableBytes(segments[nameTable], offset + 12, length, bytes))
            return false;
        text.present = true;
        text.value = Widen(bytes, length);
        return true;
    }

    // A string-table entry: 16-bit length, then the characters.
    bool ReadString(DWORD offset, Text& text)
    {
        text = {};
        if (offset == none)
            return true;
        WORD length = 0;
        const BYTE* bytes = nullptr;
        if (!image.Table16(segments[stringTable], offset, length) || offset > none - 2 ||
            !image.TableBytes(segments[stringTable], offset + 2, length, bytes))
            return false;
        text.present = true;
        text.value = Widen(bytes, length);
        return true;
    }

    bool ReadLibrary(const DWORD* header)
    {
        TLIBATTR& attributes = library.attributes;
        if (!ReadGuid(header[headerLibraryGuid], attributes.guid))
            return false;
        attributes.lcid = header[headerLcid];
        attributes.syskind = static_cast<SYSKIND>(header[headerVarFlags] & 0xF);
        attributes.wMajorVerNum = static_cast<WORD>(header[headerLibraryVersion] & 0xFFFF);
        attributes.wMinorVerNum = static_cast<WORD>(header[headerLibraryVersion] >> 16);
        attributes.wLibFlags = static_cast<WORD>(header[headerFlags] & 0xFFFF);
        library.helpContext = header[headerHelpContext];
        library.helpStringContext = header[headerHelpStringContext];
        return ReadName(header[headerName], library.name) && ReadString(header[headerHelpString], library.helpString) &&
               ReadString(header[headerHelpFile], library.helpFile);
    }

    bool ReadTypeInfo(DWORD offset, TypeInfoRecord& type)
    {
        DWORD fields[typeInfoSize / 4] = {};
        const BYTE* bytes = nullptr;
        if (!image.TableBytes(segments[typeInfoTable], offset, typeInfoSize, bytes))
            return false;
        std::memcpy(fields, bytes, typeInfoSize);
        type.reference = offset;
        DWORD kind = fields[typeKind] & 0xF;
        if (kind >= TKIND_MAX)
            return false;
        type.kind = static_cast<TYPEKIND>(kind);
        type.alignment = static_cast<WORD>((fields[typeKind] >> 11) & 0x1F);
        type.functionCount = static_cast<WORD>(fields[typeElementCount] & 0xFFFF);
        type.variableCount = static_cast<WORD>(fields[typeElementCount] >> 16);
        if (fields[typeGuid] != none && !ReadGuid(fields[typeGuid], type.guid))
            return false;
        type.typeFlags = static_cast<WORD>(fields[typeFlags] & 0xFFFF);
        type.majorVersion = static_cast<WORD>(fields[typeVersion] & 0xFFFF);
        type.minorVersion = static_cast<WORD>(fields[typeVersion] >> 16);
        type.helpStringContext = fields[typeHelpStringContext];
        type.helpContext = fields[typeHelpContext];
        type.vtableSize = static_cast<WORD>(fields[typeImplementedAndVtable] >> 16);
        type.instanceSize = fields[typeInstanceSize];
        if (!ReadName(fields[typeName], type.name) || !ReadString(fields[typeHelpString], type.helpString))
            return false;
        WORD implementedCount = static_cast<WORD>(fields[typeImplementedAndVtable] & 0xFFFF);
        DWORD dataType = fields[typeDataType];
        switch (type.kind) {
        case TKIND_COCLASS:
            return ReadImplementedList(dataType, implementedCount, type);
        case TKIND_INTERFACE:
        case TKIND_DISPATCH:
            // The base interface, if any.
            if (implementedCount > 0 && dataType != none)
                type.implemented.push_back({dataType, 0});
            return true;
        default:
            return true;
        }
    }

    // A coclass's interfaces: a chain of reference-table entries {reference,
    // flags, custom data, next}, as long as the type info says.
    bool ReadImplementedList(DWORD offset, WORD count, TypeInfoRecord& type)
    {
        const Segment& table = segments[referenceTable];
        // A chain longer than the table has entries goes round in a circle,
        // which a small file could use to make every type list 65,535
        // interfaces.
        if (count > table.length / referenceEntrySize)
            return false;
        for (WORD i = 0; i < count; ++i) {
            const BYTE* bytes = nullptr;
            if (offset == none || !image.TableBytes(table, offset, referenceEntrySize, bytes))
                return false;
            DWORD entry[4];
            std::memcpy(entry, bytes, sizeof entry);
            type.implemented.push_back({entry[0], static_cast<INT>(entry[1])});
            offset = entry[3];
        }
        return true;
    }

    // A reference to a type of this library is the offset of its type info;
    // one with bit 0 set is an entry of the import table.
    bool ResolveReference(HREFTYPE reference)
    {
        if (library.LocalType(reference) || library.Import(reference))
            return true;
        if (!(reference & 1))
            return false;
        const BYTE* bytes = nullptr;
        DWORD offset = reference & ~DWORD(3);
        if (!image.TableBytes(segments[importInfoTable], offset, importInfoSize, bytes))
            return false;
        DWORD entry[3];
        std::memcpy(entry, bytes, sizeof entry);
        ImportedType imported;
        imported.reference = reference;
        DWORD kind = (entry[0] >> 24) & 0xF;
        imported.kind = kind < TKIND_MAX ? static_cast<TYPEKIND>(kind) : TKIND_INTERFACE;
        // Flag 1: the third field is an offset in the GUID table.
        if ((entry[0] >> 16) & 1) {
            if (!ReadGuid(entry[2], imported.guid))
                return false;
            imported.guidKnown = true;
        }
        if (!ReadImportFile(entry[1], imported.fileName))
            return false;
        library.imports.push_back(std::move(imported));
        return true;
    }

    // An import-file entry: library GUID offset, lcid, version, a 16-bit
    // size whose value shifted right by 2 is the name's length, the name.
    bool ReadImportFile(DWORD offset, std::u16string& fileName)
    {
        const Segment& table = segments[importFileTable];
        WORD sizeField = 0;
        const BYTE* bytes = nullptr;
        if (offset > none - 14 || !image.Table16(table, offset + 12, sizeField))
            return false;
        size_t length = sizeField >> 2;
        if (!image.TableBytes(table, offset + 14, length, bytes))
            return false;
        fileName = Widen(bytes, length);
        return true;
    }

    Image image;
    LibraryRecord& library;
    Segment segments[tableCount];
};

}  // namespace

const TypeInfoRecord* LibraryRecord::LocalType(HREFTYPE reference, UINT* index) const
{
    for (size_t i = 0; i < types.size(); ++i) {
        if (types[i].reference == reference) {
            if (index)
                *index = static_cast<UINT>(i);
            return &types[i];
        }
    }
    return nullptr;
}

const ImportedType* LibraryRecord::Import(HREFTYPE reference) const
{
    for (const ImportedType& imported : imports)
        if (imported.reference == reference)
            return &imported;
    return nullptr;
}

HRESULT ReadTypeLibrary(const BYTE* data, size_t size, LibraryRecord& library)
{
    library = {};
    if (!data)
        return TYPE_E_CANTLOADLIBRARY;
    try {
        HRESULT result = Reader(data, size, library).Read();
        if (FAILED(result))
            library = {};
        return result;
    } catch (const std::bad_alloc&) {
        library = {};
        return E_OUTOFMEMORY;
    }
}

}  // namespace platform::typelib
