// A slim reader/writer lock held exclusively for a scope, and a condition
// variable that waits on it.
#pragma once

#include "winapi.h"

namespace host {

class SlimLock {
public:
    SlimLock() { InitializeSRWLock(&lock); }
    SlimLock(const SlimLock&) = delete;
    SlimLock& operator=(const SlimLock&) = delete;

    PSRWLOCK Get() { return &lock; }

private:
    SRWLOCK lock;
};

class SlimLockHolder {
public:
    explicit SlimLockHolder(SlimLock& lock) : lock(lock) { AcquireSRWLockExclusive(lock.Get()); }
    SlimLockHolder(const SlimLockHolder&) = delete;
    SlimLockHolder& operator=(const SlimLockHolder&) = delete;
    ~SlimLockHolder() { ReleaseSRWLockExclusive(lock.Get()); }

    // Lets go of the lock for `work`, then takes it again.
    template <typename Work>
    void Unlocked(Work&& work)
    {
        ReleaseSRWLockExclusive(lock.Get());
        struct Retake {
            SlimLock& lock;
            ~Retake() { AcquireSRWLockExclusive(lock.Get()); }
        } retake{lock};
        work();
    }

    SlimLock& Lock() { return lock; }

private:
    SlimLock& lock;
};

class Condition {
public:
    Condition() { InitializeConditionVariable(&condition); }
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;

    // Waits until woken; the holder's lock is let go meanwhile.
    void Wait(SlimLockHolder& holder) { SleepConditionVariableSRW(&condition, holder.Lock().Get(), INFINITE, 0); }
    // Waits until woken or `milliseconds` have passed; false when the time ran out.
    bool WaitFor(SlimLockHolder& holder, DWORD milliseconds)
    {
        return SleepConditionVariableSRW(&condition, holder.Lock().Get(), milliseconds, 0) != FALSE;
    }
    void WakeAll() { WakeAllConditionVariable(&condition); }

private:
    CONDITION_VARIABLE condition;
};

}  // namespace host
