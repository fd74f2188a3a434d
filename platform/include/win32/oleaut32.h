// The oleaut32 subset: BSTRs, VarUI4FromStr, type libraries.
#pragma once

#include "ole32.h"

// ---- Number conversion ------------------------------------------------------

extern "C" {

// Converts text to a 32-bit unsigned number: optional white space and sign,
// decimal digits with an optional fraction (rounded half to even), or "&H"
// hexadecimal and "&O" octal digits. DISP_E_TYPEMISMATCH for text that is
// not a number, DISP_E_OVERFLOW for a number outside 0..4294967295,
// E_INVALIDARG for a null argument. The locale and flags are not used.
HRESULT STDAPICALLTYPE VarUI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, ULONG* pulOut);

}  // extern "C"
