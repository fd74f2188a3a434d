#include "advapi32/registry_buffers.h"

#include <algorithm>

namespace platform::registry {

LONG CopyValueData(const std::string& data, LPBYTE buffer, LPDWORD bufferBytes)
{
    if (!bufferBytes)
        return ERROR_SUCCESS;
    DWORD size = static_cast<DWORD>(data.size());
    if (buffer) {
        if (*bufferBytes < size) {
            *bufferBytes = size;
            return ERROR_MORE_DATA;
        }
        std::copy(data.begin(), data.end(), buffer);
    }
    *bufferBytes = size;
    return ERROR_SUCCESS;
}

LONG CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD units)
{
    if (name.size() + 1 > *units)
        return ERROR_MORE_DATA;
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = 0;
    *units = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

}  // namespace platform::registry
