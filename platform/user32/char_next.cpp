// CharNextW: one character forward. A surrogate pair is one character; at
// the terminating NUL the position stays.
#include <win32/user32.h>

extern "C" {

LPWSTR WINAPI CharNextW(LPCWSTR text)
{
    if (!text || *text == 0)
        return const_cast<LPWSTR>(text);
    if (text[0] >= 0xD800 && text[0] <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF)
        return const_cast<LPWSTR>(text + 2);
    return const_cast<LPWSTR>(text + 1);
}

}  // extern "C"
