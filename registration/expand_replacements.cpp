// The replacement step of a script run: every %name% in the text becomes
// the value of `name` in the run's replacement map; %% becomes %.
#include "replacement_map.h"
#include "script_parser.h"

namespace trellan {
namespace {

// Longest replacement name, in UTF-16 units.
const int maximumNameUnits = 31;

// The growable output of the replacement step, from the task allocator.
struct ExpansionBuffer {
    int count = 0;
    int capacity = 0;
    LPWSTR data = nullptr;

    ~ExpansionBuffer() { CoTaskMemFree(data); }

    // Stores one unit, doubling the capacity when full. False when the
    // buffer cannot grow.
    bool Append(WCHAR unit)
    {
        if (count == capacity) {
            const int grown = capacity > 0 ? 2 * capacity : 16;
            void* larger = CoTaskMemRealloc(data, static_cast<SIZE_T>(grown) * sizeof(WCHAR));
            if (!larger)
                return false;
            data = static_cast<LPWSTR>(larger);
            capacity = grown;
        }
        data[count++] = unit;
        return true;
    }

    LPWSTR Release()
    {
        LPWSTR handed = data;
        data = nullptr;
        return handed;
    }
};

}  // namespace

HRESULT ScriptParser::ExpandReplacements(LPCWSTR text, LPWSTR* out)
{
    // A buffer twice the input's length (one unit for an empty text, which
    // still needs its NUL).
    *out = nullptr;
    const int length = lstrlenW(text);
    ExpansionBuffer buffer;
    buffer.capacity = length > 0 ? 2 * length : 1;
    buffer.data = static_cast<LPWSTR>(CoTaskMemAlloc(static_cast<SIZE_T>(buffer.capacity) * sizeof(WCHAR)));
    if (!buffer.data)
        return E_OUTOFMEMORY;

    // The walk: text is copied, "%%" is one "%", and "%name%" is the value of
    // the name.
    HRESULT status = S_OK;
    LPCWSTR position = text;
    while (*position != 0 && SUCCEEDED(status)) {
        if (*position != u'%') {
            // Every unit of the character step, so that a surrogate pair
            // stays whole.
            LPCWSTR next = CharNextW(position);
            for (; position < next; ++position)
                if (!buffer.Append(*position))
                    status = E_OUTOFMEMORY;
            continue;
        }
        if (position[1] == u'%') {
            if (!buffer.Append(u'%'))
                status = E_OUTOFMEMORY;
            position += 2;
            continue;
        }

        LPCWSTR nameStart = position + 1;
        LPCWSTR nameEnd = nameStart;
        while (*nameEnd != 0 && *nameEnd != u'%')
            nameEnd = CharNextW(nameEnd);
        if (*nameEnd == 0) {
            status = DISP_E_EXCEPTION;  // no closing %
            break;
        }
        const int nameUnits = static_cast<int>(nameEnd - nameStart);
        if (nameUnits > maximumNameUnits) {
            status = E_FAIL;
            break;
        }
        WCHAR name[maximumNameUnits + 1];
        lstrcpynW(name, nameStart, nameUnits + 1);
        LPCWSTR value = map ? map->Lookup(name) : nullptr;
        if (!value) {
            status = DISP_E_EXCEPTION;
            break;
        }
        // Values go in as they are: they are not scanned again.
        for (; *value != 0 && SUCCEEDED(status); ++value)
            if (!buffer.Append(*value))
                status = E_OUTOFMEMORY;
        position = nameEnd + 1;
    }

    // The terminating NUL.
    if (SUCCEEDED(status) && !buffer.Append(0))
        status = E_OUTOFMEMORY;

    // The caller owns the text only when the whole walk succeeded.
    if (SUCCEEDED(status))
        *out = buffer.Release();
    return status;
}

HRESULT ScriptParser::RunScript(LPCWSTR text, bool registerMode)
{
    // The script with its replacements made.
    LPWSTR expanded = nullptr;
    HRESULT result = ExpandReplacements(text, &expanded);
    if (FAILED(result))
        return result;

    // Every top-level block, with the recovery pass.
    result = RunRootBlocks(expanded, registerMode);

    // The expanded text goes, whatever the blocks answered.
    CoTaskMemFree(expanded);
    return result;
}

}  // namespace trellan
