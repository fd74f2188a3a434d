// The compiled type-library reader over arbitrary bytes. A library that
// reads is then walked as a client would: every type info, its attributes,
// documentation and implemented types, each reference followed, every name
// looked up. Any crash, sanitizer report, leak or inconsistency between the
// record and what the interfaces report is a finding.
#include "finding.h"
#include "oleaut32/typelib_objects.h"

#include <memory>
#include <vector>

const char* const fuzzing::fuzzerName = "typelib_fuzzer";

namespace {

using fuzzing::Finding;

using platform::typelib::LibraryRecord;

void ReadDocumentation(HRESULT result, BSTR name, BSTR helpString, BSTR helpFile)
{
    if (FAILED(result) && (name || helpString || helpFile))
        Finding("a failed GetDocumentation left a string behind");
    SysFreeString(name);
    SysFreeString(helpString);
    SysFreeString(helpFile);
}

void WalkTypeInfo(ITypeInfo* info, int depth)
{
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes)) || !attributes)
        Finding("GetTypeAttr failed on a type of a library that read");
    const WORD implemented = attributes->cImplTypes;
    info->ReleaseTypeAttr(attributes);

    BSTR name = nullptr, helpString = nullptr, helpFile = nullptr;
    DWORD helpContext = 0;
    ReadDocumentation(info->GetDocumentation(MEMBERID_NIL, &name, &helpString, &helpContext, &helpFile), name,
                      helpString, helpFile);

    // A chain of implemented types may be long (up to 65,535, cycles
    // included): the first few are read and followed, then the last one and
    // the one past the end are read.
    std::vector<UINT> indices;
    for (UINT i = 0; i < implemented && i < 4; ++i)
        indices.push_back(i);
    if (implemented > 4)
        indices.push_back(implemented - 1u);
    indices.push_back(implemented);
    for (UINT i : indices) {
        HREFTYPE reference = 0;
        INT flags = 0;
        const HRESULT found = info->GetRefTypeOfImplType(i, &reference);
        if ((i < implemented) != SUCCEEDED(found) || (i < implemented) != SUCCEEDED(info->GetImplTypeFlags(i, &flags)))
            Finding("the implemented types differ from the type's count");
        if (FAILED(found) || depth > 2 || i >= 4)
            continue;
        ITypeInfo* referenced = nullptr;
        if (SUCCEEDED(info->GetRefTypeInfo(reference, &referenced))) {
            WalkTypeInfo(referenced, depth + 1);
            referenced->Release();
        } else if (referenced) {
            Finding("a failed GetRefTypeInfo handed out a type info");
        }
    }

    ITypeLib* owner = nullptr;
    UINT index = 0;
    if (SUCCEEDED(info->GetContainingTypeLib(&owner, &index)))
        owner->Release();
}

void WalkLibrary(ITypeLib* library, const LibraryRecord& record)
{
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes)))
        Finding("GetLibAttr failed");
    library->ReleaseTLibAttr(attributes);

    const UINT count = library->GetTypeInfoCount();
    if (count != record.types.size())
        Finding("GetTypeInfoCount differs from the record");
    for (INT index = -1; index <= static_cast<INT>(count); ++index) {
        BSTR name = nullptr, helpString = nullptr, helpFile = nullptr;
        DWORD helpContext = 0;
        const HRESULT result = library->GetDocumentation(index, &name, &helpString, &helpContext, &helpFile);
        if (index == static_cast<INT>(count) && SUCCEEDED(result))
            Finding("GetDocumentation past the last type succeeded");
        if (SUCCEEDED(result) && name) {
            BOOL found = FALSE;
            library->IsName(name, 0, &found);
            ITypeInfo* infos[4] = {};
            MEMBERID members[4] = {};
            USHORT wanted = 4;
            if (SUCCEEDED(library->FindName(name, 0, infos, members, &wanted)))
                for (USHORT i = 0; i < wanted; ++i)
                    infos[i]->Release();
        }
        ReadDocumentation(result, name, helpString, helpFile);
    }

    for (UINT index = 0; index < count; ++index) {
        TYPEKIND kind;
        if (FAILED(library->GetTypeInfoType(index, &kind)) || kind != record.types[index].kind)
            Finding("GetTypeInfoType differs from the record");
        ITypeInfo* info = nullptr;
        if (FAILED(library->GetTypeInfo(index, &info)))
            Finding("GetTypeInfo failed inside the count");
        WalkTypeInfo(info, 0);
        info->Release();

        ITypeInfo* byGuid = nullptr;
        if (FAILED(library->GetTypeInfoOfGuid(record.types[index].guid, &byGuid)))
            Finding("GetTypeInfoOfGuid does not find a type's own GUID");
        byGuid->Release();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto record = std::make_shared<LibraryRecord>();
    const HRESULT result = platform::typelib::ReadTypeLibrary(data, size, *record);
    if (FAILED(result))
        return 0;

    ITypeLib* library = nullptr;
    if (FAILED(platform::typelib::CreateTypeLibrary(record, &library)))
        Finding("CreateTypeLibrary failed on a library that read");
    WalkLibrary(library, *record);
    if (library->Release() != 0)
        Finding("the walk left a reference on the library");
    return 0;
}
