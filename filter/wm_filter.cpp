// Construction and destruction of the filter object.
#include "wm_filter.h"

namespace trellan {

// The base lock is initialised with its member, before the fields below.
WMFilter::WMFilter()
    : refCount(0),
      filePath(nullptr),
      fileStream(nullptr),
      streamInitialized(false),
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
    Unbind();
    DeleteCriticalSection(&filterLock);
}

void WMFilter::Unbind()
{
    HeapFree(GetProcessHeap(), 0, filePath);
    filePath = nullptr;
    if (fileStream)
        fileStream->Release();
    fileStream = nullptr;
}

}  // namespace trellan
