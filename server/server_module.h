// The module-state record: the class table, the module lock count, the
// library's instance handle and the lock under which class objects are made.
// One record per loaded library; the entry point fills and empties it.
// Nothing outside the library sees the record, so it holds only what the
// library uses.
#pragma once

#include "winapi.h"

namespace trellan {

// Makes one instance of a class: (outer unknown or null, interface id, out).
using CreateInstanceFunction = HRESULT(WINAPI*)(IUnknown* outer, REFIID iid, void** out);
// Makes a class's class object around the class's instance-making function.
using CreateClassObjectFunction = HRESULT(WINAPI*)(CreateInstanceFunction creator, REFIID iid, void** out);
using UpdateRegistryFunction = HRESULT(WINAPI*)(BOOL registerServer);
using GetDescriptionFunction = LPCWSTR(WINAPI*)();
using ObjectMainFunction = void(WINAPI*)(bool starting);

// One row of the class table. The table ends with a row whose clsid is null.
struct ObjectMapEntry {
    const CLSID* clsid;
    UpdateRegistryFunction updateRegistry;
    CreateClassObjectFunction createClassObject;
    CreateInstanceFunction createInstance;
    IUnknown* classObject;  // the cached class object; written under classTableLock
    GetDescriptionFunction getDescription;
    ObjectMainFunction objectMain;
};

struct ServerModule {
    HINSTANCE instance;
    HINSTANCE typeLibInstance;  // the file that carries the type library: the library's own
    ObjectMapEntry* objectMap;
    LONG lockCount;
    CRITICAL_SECTION classTableLock;

    HRESULT Init(ObjectMapEntry* classTable, HINSTANCE moduleInstance);
    HRESULT Term();
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);
};

// The library's one record, and the library-wide pointer to it that the
// entry point sets before the record is initialised.
extern ServerModule serverModuleRecord;
extern ServerModule* serverModule;

}  // namespace trellan
