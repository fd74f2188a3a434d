// The kernel32 subset: critical sections, interlocked counters, last error,
// locale, heaps, module handles and resources, text conversion, lstr*W.
#pragma once

#include "errors.h"

// A critical section is a recursive mutex. The storage is opaque and sized
// for the platform's mutex; it is set up by InitializeCriticalSection.
struct CRITICAL_SECTION {
    alignas(16) unsigned char storage[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);

LONG WINAPI InterlockedIncrement(LONG volatile* addend);
LONG WINAPI InterlockedDecrement(LONG volatile* addend);
LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value);
LONG WINAPI InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand);
void* WINAPI InterlockedCompareExchangePointer(void* volatile* target, void* exchange, void* comparand);

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);

// The system default locale, read from the process's locale settings
// (LC_ALL, LC_CTYPE, LANG) at every call.
LCID WINAPI GetSystemDefaultLCID();

// The process heap. HeapAlloc answers null when memory runs out (or when
// the allocation test seam says so).
HANDLE WINAPI GetProcessHeap();
HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
BOOL WINAPI HeapDestroy(HANDLE heap);
void* WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
void* WINAPI HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, void* block);
// Gives the free memory that the heap keeps back to the system (the heap
// keeps what it has grown to between compactions). Answers 0, with no
// last error: the size of the largest free block is not known here.
SIZE_T WINAPI HeapCompact(HANDLE heap, DWORD flags);

// Text conversion. Every code page is UTF-8 here. CP_UTF8 turns what does
// not convert into U+FFFD, as on the platform; CP_ACP and CP_OEMCP are the
// file system's encoding, where a byte that is not UTF-8 becomes the lone
// surrogate U+DC80..U+DCFF and back, so that every file name survives.
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR out, int outUnits);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int units, LPSTR out, int outBytes,
                               LPCSTR defaultChar, BOOL* usedDefaultChar);

int WINAPI lstrlenW(LPCWSTR text);
LPWSTR WINAPI lstrcpyW(LPWSTR target, LPCWSTR source);
LPWSTR WINAPI lstrcpynW(LPWSTR target, LPCWSTR source, int maxUnits);
LPWSTR WINAPI lstrcatW(LPWSTR target, LPCWSTR source);
int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b);
int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b);

}  // extern "C"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080
#define ERROR_NO_UNICODE_TRANSLATION 1113

#define HEAP_ZERO_MEMORY 0x00000008
#define HEAP_GENERATE_EXCEPTIONS 0x00000004

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define LANG_NEUTRAL 0x00
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) ((((WORD)(sub)) << 10) | (WORD)(primary))
#define MAKELCID(lang, sort) ((DWORD)((((DWORD)((WORD)(sort))) << 16) | ((DWORD)((WORD)(lang)))))
#define LOCALE_INVARIANT 0x007F
#define LOCALE_NEUTRAL 0x0000
