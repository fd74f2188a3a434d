// Component categories: the standard categories manager and ICatRegister.
#pragma once

#include "ole32.h"

using CATID = GUID;
using REFCATID = const GUID&;

DECLARE_PLATFORM_GUID(CLSID_StdComponentCategoriesMgr);
DECLARE_PLATFORM_GUID(IID_ICatRegister);

struct CATEGORYINFO {
    CATID catid;
    LCID lcid;
    OLECHAR szDescription[128];
};

// The categories manager writes HKCR\Component Categories\{catid} and, per
// class, HKCR\CLSID\{clsid}\Implemented Categories\{catid} and
// ...\Required Categories\{catid}.
struct ICatRegister : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG cCategories, CATEGORYINFO rgCategoryInfo[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG cCategories, CATID rgcatid[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                                  CATID rgcatid[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                                    CATID rgcatid[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                                 CATID rgcatid[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                                   CATID rgcatid[]) = 0;
};
