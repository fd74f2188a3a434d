// Holds a critical section for the life of a scope.
#pragma once

#include "winapi.h"

namespace trellan {

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) : section(section) { EnterCriticalSection(&section); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
    ~CriticalSectionLock() { LeaveCriticalSection(&section); }

private:
    CRITICAL_SECTION& section;
};

}  // namespace trellan

namespace trellan {

// A critical section that lives exactly as long as its owner's member:
// initialised at construction, deleted at destruction.
struct OwnedCriticalSection {
    OwnedCriticalSection() { InitializeCriticalSection(&section); }
    OwnedCriticalSection(const OwnedCriticalSection&) = delete;
    OwnedCriticalSection& operator=(const OwnedCriticalSection&) = delete;
    ~OwnedCriticalSection() { DeleteCriticalSection(&section); }

    CRITICAL_SECTION section;
};

}  // namespace trellan
