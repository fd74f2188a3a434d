// ServerModule: Init and Term around the life of the library, and the
// class-object cache behind DllGetClassObject.
#include "server_module.h"

namespace trellan {

ServerModule serverModuleRecord;
ServerModule* serverModule = nullptr;

HRESULT ServerModule::Init(ObjectMapEntry* classTable, HINSTANCE moduleInstance)
{
    // The table, a lock count of 0, the handles.
    objectMap = classTable;
    lockCount = 0;
    instance = moduleInstance;
    typeLibInstance = moduleInstance;

    // The lock under which class objects are created.
    InitializeCriticalSection(&classTableLock);

    // Each class's own start.
    for (ObjectMapEntry* row = objectMap; row->clsid; ++row)
        row->objectMain(true);
    return S_OK;
}

HRESULT ServerModule::Term()
{
    // The cached class objects go, and each class's own end runs.
    for (ObjectMapEntry* row = objectMap; row->clsid; ++row) {
        if (row->classObject)
            row->classObject->Release();
        row->classObject = nullptr;
        row->objectMain(false);
    }

    DeleteCriticalSection(&classTableLock);
    return S_OK;
}

HRESULT ServerModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    HRESULT result = S_OK;

    for (ObjectMapEntry* row = objectMap; row->clsid; ++row) {
        if (!row->createClassObject)
            continue;
        if (!IsEqualGUID(*row->clsid, clsid))
            continue;

        // The cache is tested without the lock, then again inside it. A new
        // class object is published only once it is complete, in one atomic
        // store, so that a thread testing without the lock sees either null
        // or a finished object.
        auto cacheSlot = reinterpret_cast<void* volatile*>(&row->classObject);
        if (!InterlockedCompareExchangePointer(cacheSlot, nullptr, nullptr)) {
            EnterCriticalSection(&classTableLock);
            if (!InterlockedCompareExchangePointer(cacheSlot, nullptr, nullptr)) {
                void* created = nullptr;
                result = row->createClassObject(row->createInstance, IID_IUnknown, &created);
                if (created)
                    InterlockedCompareExchangePointer(cacheSlot, created, nullptr);
            }
            LeaveCriticalSection(&classTableLock);
        }
        auto classObject = static_cast<IUnknown*>(InterlockedCompareExchangePointer(cacheSlot, nullptr, nullptr));
        if (classObject)
            result = classObject->QueryInterface(iid, out);
        break;
    }

    if (!*out && result == S_OK)
        result = CLASS_E_CLASSNOTAVAILABLE;
    return result;
}

}  // namespace trellan
