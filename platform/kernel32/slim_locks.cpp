// Slim reader/writer locks (exclusive mode) and condition variables over a
// pthread mutex and condition, which live in the platform structures'
// storage. Zero-filled storage is a ready mutex or condition on glibc, so
// SRWLOCK_INIT and CONDITION_VARIABLE_INIT need no call, as on the platform.
#include <win32/kernel32.h>
#include <win32/threads.h>

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(SRWLOCK::storage), "SRWLOCK must hold a pthread mutex");
static_assert(sizeof(pthread_cond_t) <= sizeof(CONDITION_VARIABLE::storage),
              "CONDITION_VARIABLE must hold a pthread condition");

pthread_mutex_t* MutexOf(PSRWLOCK lock)
{
    return reinterpret_cast<pthread_mutex_t*>(lock->storage);
}

pthread_cond_t* ConditionOf(PCONDITION_VARIABLE condition)
{
    return reinterpret_cast<pthread_cond_t*>(condition->storage);
}

// The condition waits on CLOCK_REALTIME, its default clock.
timespec DeadlineAfter(DWORD milliseconds)
{
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}

}  // namespace

extern "C" {

void WINAPI InitializeSRWLock(PSRWLOCK lock)
{
    *lock = SRWLOCK{};
}

void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock)
{
    pthread_mutex_lock(MutexOf(lock));
}

void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock)
{
    pthread_mutex_unlock(MutexOf(lock));
}

void WINAPI InitializeConditionVariable(PCONDITION_VARIABLE condition)
{
    *condition = CONDITION_VARIABLE{};
}

BOOL WINAPI SleepConditionVariableSRW(PCONDITION_VARIABLE condition, PSRWLOCK lock, DWORD milliseconds,
                                      ULONG flags)
{
    if (flags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);  // shared mode is not offered
        return FALSE;
    }
    if (milliseconds == INFINITE) {
        pthread_cond_wait(ConditionOf(condition), MutexOf(lock));
        return TRUE;
    }
    const timespec deadline = DeadlineAfter(milliseconds);
    if (pthread_cond_timedwait(ConditionOf(condition), MutexOf(lock), &deadline) == ETIMEDOUT) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    return TRUE;
}

void WINAPI WakeConditionVariable(PCONDITION_VARIABLE condition)
{
    pthread_cond_signal(ConditionOf(condition));
}

void WINAPI WakeAllConditionVariable(PCONDITION_VARIABLE condition)
{
    pthread_cond_broadcast(ConditionOf(condition));
}

}  // extern "C"
