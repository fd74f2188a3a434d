// ServerModule: Init and Term around the life of the library, and the
// class-object cache behind DllGetClassObject.
#include "server_module.h"

#include "record_layout.h"

#include <cstddef>

namespace trellan {

const GUID serverModuleVersionId = {0xB62F5910, 0x6528, 0x11D1, {0x96, 0x11, 0x00, 0x00, 0xF8, 0x1E, 0x0D, 0x0D}};

ServerModule serverModuleRecord;
ServerModule* serverModule = nullptr;

ObjectMapEntry* ServerModule::NextRow(ObjectMapEntry* row) const
{
    size_t rowSize = HasFullRows() ? sizeof(ObjectMapEntry) : offsetof(ObjectMapEntry, getCategoryMap);
    return reinterpret_cast<ObjectMapEntry*>(reinterpret_cast<BYTE*>(row) + rowSize);
}

HRESULT ServerModule::Init(ObjectMapEntry* classTable, HINSTANCE moduleInstance)
{
    objectMap = classTable;
    lockCount = 0;
    instance = moduleInstance;
    resourceInstance = moduleInstance;
    typeLibInstance = moduleInstance;
    heap = nullptr;

    InitializeCriticalSection(&reservedLock1);
    InitializeCriticalSection(&reservedLock2);
    InitializeCriticalSection(&classTableLock);

    reserved1 = 0;
    ownsHeaps = true;
    heapCount = 0;
    reserved2 = 0;
    heaps = nullptr;
    terminationList = nullptr;

    // Short rows have no objectMain.
    for (ObjectMapEntry* row = objectMap; row->clsid; row = NextRow(row)) {
        if (HasFullRows())
            row->objectMain(true);
    }
    return S_OK;
}

HRESULT ServerModule::Term()
{
    for (ObjectMapEntry* row = objectMap; row->clsid; row = NextRow(row)) {
        if (row->classObject)
            row->classObject->Release();
        row->classObject = nullptr;
        if (HasFullRows())
            row->objectMain(false);
    }

    DeleteCriticalSection(&reservedLock1);
    DeleteCriticalSection(&reservedLock2);
    DeleteCriticalSection(&classTableLock);

    for (TermCallbackNode* node = terminationList; node;) {
        node->callback(node->data);
        TermCallbackNode* next = node->next;
        HeapFree(GetProcessHeap(), 0, node);
        node = next;
    }
    terminationList = nullptr;

    if (heap && ownsHeaps) {
        if (heaps) {
            for (ULONG index = 0; index <= heapCount; ++index)
                HeapDestroy(heaps[index]);
        }
        HeapDestroy(heap);
    }
    return S_OK;
}

HRESULT ServerModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    HRESULT result = S_OK;

    for (ObjectMapEntry* row = objectMap; row->clsid; row = NextRow(row)) {
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
