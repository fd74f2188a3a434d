// The kernel32 thread subset: threads, slim reader/writer locks, condition
// variables, the processor count and a millisecond clock.
#pragma once

#include "errors.h"
#include "types.h"

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define CONDITION_VARIABLE_LOCKMODE_SHARED 0x1

// Both are usable when zero-filled, as on the platform (SRWLOCK_INIT,
// CONDITION_VARIABLE_INIT). The storage holds a pthread mutex or condition,
// whose static initialisers are zero-filled too.
struct SRWLOCK {
    alignas(8) unsigned char storage[56];
};
struct CONDITION_VARIABLE {
    alignas(8) unsigned char storage[48];
};
using PSRWLOCK = SRWLOCK*;
using PCONDITION_VARIABLE = CONDITION_VARIABLE*;
#define SRWLOCK_INIT {}
#define CONDITION_VARIABLE_INIT {}

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(void* parameter);

struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    void* lpMinimumApplicationAddress;
    void* lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;

extern "C" {

// The thread runs `start(parameter)`; its handle is closed with
// CloseHandle and waited for with WaitForSingleObject. Only the default
// stack size and creation flags 0 are supported.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                           void* parameter, DWORD creationFlags, DWORD* threadId);
// Waits for a thread handle to end.
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);

void WINAPI InitializeSRWLock(PSRWLOCK lock);
void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock);
void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock);
void WINAPI InitializeConditionVariable(PCONDITION_VARIABLE condition);
// Only exclusive mode (flags 0) is supported.
BOOL WINAPI SleepConditionVariableSRW(PCONDITION_VARIABLE condition, PSRWLOCK lock, DWORD milliseconds,
                                      ULONG flags);
void WINAPI WakeConditionVariable(PCONDITION_VARIABLE condition);
void WINAPI WakeAllConditionVariable(PCONDITION_VARIABLE condition);

// dwNumberOfProcessors is the number of processors this process may run
// on (its affinity), at least 1.
void WINAPI GetSystemInfo(LPSYSTEM_INFO information);
// Milliseconds of a monotonic clock.
ULONGLONG WINAPI GetTickCount64();

}  // extern "C"
