// The ole32 subset: IUnknown and the basic COM interfaces, PROPVARIANT,
// the task allocator.
#pragma once

#include "guid.h"
#include "kernel32.h"

DECLARE_PLATFORM_GUID(IID_IUnknown);
DECLARE_PLATFORM_GUID(IID_IClassFactory);
DECLARE_PLATFORM_GUID(IID_IPersist);
DECLARE_PLATFORM_GUID(IID_IPersistFile);
DECLARE_PLATFORM_GUID(GUID_NULL);

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct IPersist : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) = 0;
};

struct IPersistFile : IPersist {
    virtual HRESULT STDMETHODCALLTYPE IsDirty() = 0;
    virtual HRESULT STDMETHODCALLTYPE Load(LPCOLESTR pszFileName, DWORD dwMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE Save(LPCOLESTR pszFileName, BOOL fRemember) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR pszFileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* ppszFileName) = 0;
};

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_FILETIME = 64,
    VT_BLOB = 65,
    VT_CLSID = 72,
};

struct BLOB {
    ULONG cbSize;
    BYTE* pBlobData;
};

// The platform's PROPVARIANT: a type tag, three reserved words and an
// 8-byte-aligned union of the value forms.
struct PROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        char cVal;
        BYTE bVal;
        SHORT iVal;
        USHORT uiVal;
        LONG lVal;
        ULONG ulVal;
        LONGLONG hVal;
        ULONGLONG uhVal;
        SCODE scode;
        VARIANT_BOOL boolVal;
        FILETIME filetime;
        CLSID* puuid;
        BLOB blob;
        LPSTR pszVal;
        LPWSTR pwszVal;
        BSTR bstrVal;
    };
};
static_assert(offsetof(PROPVARIANT, pwszVal) == 8, "PROPVARIANT value follows the four words");

extern "C" {

void* STDAPICALLTYPE CoTaskMemAlloc(SIZE_T bytes);
void* STDAPICALLTYPE CoTaskMemRealloc(void* block, SIZE_T bytes);
void STDAPICALLTYPE CoTaskMemFree(void* block);
HRESULT STDAPICALLTYPE PropVariantClear(PROPVARIANT* value);

// GUIDs as text: "{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}".
HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR text, CLSID* clsid);
HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR text, IID* iid);
int STDAPICALLTYPE StringFromGUID2(REFGUID guid, LPOLESTR text, int units);

}  // extern "C"

#define CO_E_CLASSSTRING ((HRESULT)0x800401F3)

#define STGM_READ 0x00000000L
#define STGM_SHARE_DENY_NONE 0x00000040L
