// Where filters run in process (the Windows trellan.exe, whose indexing
// service is the platform's own filter host): no isolation.
#include "filtering/filter_isolation.h"

namespace host {

std::unique_ptr<FilterIsolation> MakeFilterIsolation(const IsolationLimits&, bool (*)())
{
    return nullptr;
}

}  // namespace host
