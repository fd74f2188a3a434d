#include "filter_objects.h"

namespace trellan {

HRESULT WINAPI CreateFilterInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!outer)
        return CreatePlainFilter(iid, out);
    return CreateAggregatedFilter(outer, iid, out);
}

}  // namespace trellan
