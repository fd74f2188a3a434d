// The allocation test seam, shared by the heap and the task allocator.
#pragma once

namespace platform {

// True when the allocation about to be made must fail.
bool AllocationShouldFail();

}  // namespace platform
