// Construction and destruction of the filter object.
#include "wm_filter.h"

namespace trellan {

// The base lock is initialised with its member, before the fields below.
WMFilter::WMFilter()
    : refCount(0),
      filePath(nullptr),
      currentChunk(0),
      textPosition(0),
      valueDelivered(false),
      initialized(false)
{
    InitializeCriticalSection(&filterLock);
}

// After this body the members go in reverse order: description, author,
// title and bodyText, and the base lock last.
WMFilter::~WMFilter()
{
    HeapFree(GetProcessHeap(), 0, filePath);
    DeleteCriticalSection(&filterLock);
}

}  // namespace trellan
