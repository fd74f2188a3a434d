// The module-state record: the class table, the module lock count, the
// library's instance handle and the lock under which class objects are made.
// One record per loaded library; the entry point fills and empties it.
#pragma once

#include "winapi.h"

#include <cstddef>

// A class's component-category table; the registration side gives it rows.
struct CategoryMapEntry;

namespace trellan {

// Makes one instance of a class: (outer unknown or null, interface id, out).
using CreateInstanceFunction = HRESULT(WINAPI*)(IUnknown* outer, REFIID iid, void** out);
// Makes a class's class object around the class's instance-making function.
using CreateClassObjectFunction = HRESULT(WINAPI*)(CreateInstanceFunction creator, REFIID iid, void** out);
using UpdateRegistryFunction = HRESULT(WINAPI*)(BOOL registerServer);
using GetDescriptionFunction = LPCWSTR(WINAPI*)();
using GetCategoryMapFunction = const CategoryMapEntry*(WINAPI*)();
using ObjectMainFunction = void(WINAPI*)(bool starting);

// One row of the class table. The table ends with a row whose clsid is null.
// The short form of the record (size 100) has rows of the first seven
// fields only.
struct ObjectMapEntry {
    const CLSID* clsid;
    UpdateRegistryFunction updateRegistry;
    CreateClassObjectFunction createClassObject;
    CreateInstanceFunction createInstance;
    IUnknown* classObject;  // the cached class object; written under classTableLock
    DWORD_PTR reserved;
    GetDescriptionFunction getDescription;
    GetCategoryMapFunction getCategoryMap;  // full form only
    ObjectMainFunction objectMain;          // full form only
};

// A callback run by Term, in a heap-allocated list.
struct TermCallbackNode {
    void(WINAPI* callback)(void* data);
    void* data;
    TermCallbackNode* next;
};

constexpr ULONG moduleBuildVersion = 0x0300;

struct ServerModule {
    ULONG size;
    HINSTANCE instance;
    HINSTANCE resourceInstance;
    HINSTANCE typeLibInstance;
    ObjectMapEntry* objectMap;
    LONG lockCount;
    HANDLE heap;
    CRITICAL_SECTION reservedLock1;
    CRITICAL_SECTION reservedLock2;
    CRITICAL_SECTION classTableLock;
    ULONG buildVersion;
    DWORD reserved1;
    bool ownsHeaps;
    const GUID* versionId;
    ULONG heapCount;
    HANDLE* heaps;
    DWORD reserved2;
    TermCallbackNode* terminationList;

    HRESULT Init(ObjectMapEntry* classTable, HINSTANCE moduleInstance);
    HRESULT Term();
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

    // Registration: every chosen row's registry script and component
    // categories, then the type library. `classFilter` chooses the rows of
    // one class; without it every row without a description is chosen.
    HRESULT RegisterServer(bool registerTypeLibrary, const CLSID* classFilter);
    HRESULT UnregisterServer(bool unregisterTypeLibrary, const CLSID* classFilter);

    // The type library carried by the file of typeLibInstance (with
    // `suffix` appended to its path), or by the ".tlb" file beside it.
    HRESULT LoadTypeLibrary(LPCWSTR suffix, BSTR* path, ITypeLib** typeLibrary);
    HRESULT RegisterTypeLibrary(LPCWSTR suffix);
    HRESULT UnregisterTypeLibrary(LPCWSTR suffix);

    // Walking the class table in the row form that `size` names.
    bool HasFullRows() const;
    ObjectMapEntry* NextRow(ObjectMapEntry* row) const;
};

// The values of `size` that name the two forms of the record: the record's
// size in bytes, and the size of the short form, which ends after
// classTableLock. 132 and 100 on 32-bit Windows; larger where pointers are
// 8 bytes (record_layout.h).
constexpr ULONG fullModuleSize = sizeof(ServerModule);
constexpr ULONG shortModuleSize = offsetof(ServerModule, buildVersion);

inline bool ServerModule::HasFullRows() const
{
    return size != shortModuleSize;
}

// The version id that the record's versionId points to.
extern const GUID serverModuleVersionId;

// The library's one record, and the library-wide pointer to it that the
// entry point sets before the record is initialised.
extern ServerModule serverModuleRecord;
extern ServerModule* serverModule;

// The library's class table: the WMFilter row and the end row.
extern ObjectMapEntry classTable[];

}  // namespace trellan
