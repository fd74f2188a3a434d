// The one switch between the platforms: the real SDK headers on Windows, the
// Linux stand-in's headers elsewhere. The system's code includes only this.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <filter.h>
#include <filterr.h>
#include <ntquery.h>
#include <wmsdk.h>
#include <propsys.h>
#include <shlwapi.h>
#else
#include <win32/windows.h>
#endif
