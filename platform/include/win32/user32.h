// The user32 subset: CharNextW.
#pragma once

#include "ole32.h"

extern "C" {

// The next character of `text`: a surrogate pair is one step; at the
// terminating NUL the pointer stays where it is.
LPWSTR WINAPI CharNextW(LPCWSTR text);

}  // extern "C"
