// The ids that Trellan owns. Each is defined once, in trellan_ids.cpp.
#pragma once

#include "winapi.h"

extern "C" {
// The filter class WMFilter.
extern const CLSID CLSID_WMFilter;
// The filter object's own interface, IWMFilter, from the type library.
extern const IID IID_IWMFilter;
// The type library TRELLANLib.
extern const GUID LIBID_TRELLANLib;
// The persistent handler that the four extensions name.
extern const GUID CLSID_TrellanPersistentHandler;
}
