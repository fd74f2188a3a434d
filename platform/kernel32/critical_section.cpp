// Critical sections as recursive mutexes; interlocked counters as atomics.
#include <win32/kernel32.h>

#include <atomic>
#include <mutex>
#include <new>

namespace {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::storage));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

std::recursive_mutex& MutexOf(LPCRITICAL_SECTION section)
{
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(section->storage));
}

}  // namespace

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    new (section->storage) std::recursive_mutex();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    MutexOf(section).~recursive_mutex();
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section)
{
    MutexOf(section).lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    MutexOf(section).unlock();
}

LONG WINAPI InterlockedIncrement(LONG volatile* addend)
{
    return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedDecrement(LONG volatile* addend)
{
    return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

void* WINAPI InterlockedCompareExchangePointer(void* volatile* target, void* exchange, void* comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

}  // extern "C"
