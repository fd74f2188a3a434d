// Counting a header against the limits, and the reservation that shows
// that the estimated memory is there.
#include "header_limits.h"

#include "kernel32/memory_limits.h"

#include <sys/mman.h>

#include <mutex>

namespace platform {
namespace {

// What TagLib and the editor build for each entry besides its value: the
// frame or attribute objects, their lists and maps, the editor's indices.
constexpr uint64_t entryCost = 1024;
// A text value is held as the file's bytes, TagLib's 32-bit characters, and
// the editor's and the harvest's UTF-16 copies; other values as the file's
// bytes and two copies.
constexpr uint64_t textCostPerByte = 12;
constexpr uint64_t otherCostPerByte = 4;

// What the files admitted and still open may take together.
std::mutex admissionLock;
uint64_t admittedEstimates = 0;

}  // namespace

bool HeaderBudget::Add(uint64_t bytes, bool text)
{
    if (entries >= mostAttributes || bytes > largestValue || valueBytes + bytes > largestValues)
        return false;
    ++entries;
    valueBytes += bytes;
    estimate += entryCost + bytes * (text ? textCostPerByte : otherCostPerByte);
    return true;
}

bool MemoryAvailable(uint64_t bytes)
{
    // Without a limit on the address space or the data segment, memory
    // runs out only to the system's out-of-memory killer, never as a
    // failed allocation, and a reservation would prove nothing.
    if (!MemoryLimited())
        return true;
    // Writable private memory counts against both the address-space and
    // the data limits; MAP_NORESERVE keeps it from touching the swap
    // accounting, and nothing is ever written to it.
    const size_t length = static_cast<size_t>(bytes);
    void* reserved = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED)
        return false;
    munmap(reserved, length);
    return true;
}

bool ReadingAdmission::Admit(uint64_t estimate)
{
    Release();
    if (!MemoryLimited())
        return true;
    std::lock_guard<std::mutex> hold(admissionLock);
    if (!MemoryAvailable(admittedEstimates + estimate))
        return false;
    counted = estimate;
    admittedEstimates += estimate;
    return true;
}

void ReadingAdmission::Release()
{
    if (counted == 0)
        return;
    std::lock_guard<std::mutex> hold(admissionLock);
    admittedEstimates -= counted;
    counted = 0;
}

}  // namespace platform
