// The lstr*W text functions on UTF-16 units.
#include <win32/kernel32.h>

namespace {

WCHAR FoldCase(WCHAR unit)
{
    // ASCII and Latin-1 letters fold; other units compare as they are.
    if ((unit >= u'a' && unit <= u'z') || (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7))
        return static_cast<WCHAR>(unit - 0x20);
    return unit;
}

int Compare(LPCWSTR a, LPCWSTR b, bool ignoreCase)
{
    if (!a)
        a = u"";
    if (!b)
        b = u"";
    for (;; ++a, ++b) {
        WCHAR x = ignoreCase ? FoldCase(*a) : *a;
        WCHAR y = ignoreCase ? FoldCase(*b) : *b;
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            return 0;
    }
}

}  // namespace

extern "C" {

int WINAPI lstrlenW(LPCWSTR text)
{
    if (!text)
        return 0;
    int length = 0;
    while (text[length])
        ++length;
    return length;
}

LPWSTR WINAPI lstrcpyW(LPWSTR target, LPCWSTR source)
{
    LPWSTR out = target;
    while ((*out++ = *source++) != 0) {
    }
    return target;
}

LPWSTR WINAPI lstrcpynW(LPWSTR target, LPCWSTR source, int maxUnits)
{
    if (maxUnits <= 0)
        return target;
    int i = 0;
    for (; i < maxUnits - 1 && source[i]; ++i)
        target[i] = source[i];
    target[i] = 0;
    return target;
}

LPWSTR WINAPI lstrcatW(LPWSTR target, LPCWSTR source)
{
    lstrcpyW(target + lstrlenW(target), source);
    return target;
}

int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b)
{
    return Compare(a, b, false);
}

int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b)
{
    return Compare(a, b, true);
}

}  // extern "C"
