// GoogleTest's thread-safe build needs std::mutex and std::condition_variable,
// which the win32-threads flavour of the MinGW-w64 C++ runtime does not
// provide. This header, forced into GoogleTest and the Windows tests only,
// supplies the few members GoogleTest uses on top of the system's slim
// reader/writer locks and condition variables.
#pragma once

#include <bits/c++config.h>

#if !defined(_GLIBCXX_HAS_GTHREADS)
#include <windows.h>

#include <mutex>

namespace std {

class mutex {
public:
    constexpr mutex() noexcept = default;
    mutex(const mutex&) = delete;
    mutex& operator=(const mutex&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* native_handle() { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class condition_variable {
public:
    condition_variable() = default;
    condition_variable(const condition_variable&) = delete;
    condition_variable& operator=(const condition_variable&) = delete;
    void notify_one() noexcept { WakeConditionVariable(&condition_); }
    void notify_all() noexcept { WakeAllConditionVariable(&condition_); }
    void wait(unique_lock<mutex>& lock)
    {
        SleepConditionVariableSRW(&condition_, lock.mutex()->native_handle(), INFINITE, 0);
    }
    template <class Predicate>
    void wait(unique_lock<mutex>& lock, Predicate done)
    {
        while (!done())
            wait(lock);
    }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace std
#endif
