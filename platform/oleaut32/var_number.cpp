// VarUI4FromStr: text to a 32-bit unsigned number.
#include <win32/oleaut32.h>

#include <cstdint>

namespace {

bool IsSpace(OLECHAR unit)
{
    return unit == u' ' || (unit >= u'\t' && unit <= u'\r');
}

int DigitValue(OLECHAR unit, int base)
{
    int value = -1;
    if (unit >= u'0' && unit <= u'9')
        value = unit - u'0';
    else if (unit >= u'a' && unit <= u'f')
        value = unit - u'a' + 10;
    else if (unit >= u'A' && unit <= u'F')
        value = unit - u'A' + 10;
    return value < base ? value : -1;
}

constexpr uint64_t kLimit = 0xFFFFFFFFull;

// Digits in `base` from `text`; the value is capped just above the limit so
// that it cannot wrap. Answers the number of digits read.
int ReadDigits(LPCOLESTR& text, int base, uint64_t* value)
{
    int count = 0;
    for (int digit; (digit = DigitValue(*text, base)) >= 0; ++text, ++count) {
        *value = *value * base + digit;
        if (*value > kLimit)
            *value = kLimit + 1;
    }
    return count;
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE VarUI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, ULONG* pulOut)
{
    if (!strIn || !pulOut)
        return E_INVALIDARG;
    LPCOLESTR text = strIn;
    while (IsSpace(*text))
        ++text;

    uint64_t value = 0;
    bool negative = false;
    if (*text == u'&' && (text[1] == u'H' || text[1] == u'h' || text[1] == u'O' || text[1] == u'o')) {
        int base = (text[1] == u'H' || text[1] == u'h') ? 16 : 8;
        text += 2;
        if (ReadDigits(text, base, &value) == 0)
            return DISP_E_TYPEMISMATCH;
    } else {
        if (*text == u'+' || *text == u'-') {
            negative = *text == u'-';
            ++text;
        }
        int digits = ReadDigits(text, 10, &value);
        if (*text == u'.') {
            ++text;
            // Round half to even on the fraction's digits.
            int first = DigitValue(*text, 10);
            bool restNonZero = false;
            int fractionDigits = 0;
            for (int digit; (digit = DigitValue(*text, 10)) >= 0; ++text, ++fractionDigits) {
                if (fractionDigits > 0 && digit != 0)
                    restNonZero = true;
            }
            digits += fractionDigits;
            if (first > 5 || (first == 5 && (restNonZero || (value & 1))))
                ++value;
        }
        if (digits == 0)
            return DISP_E_TYPEMISMATCH;
    }
    while (IsSpace(*text))
        ++text;
    if (*text != 0)
        return DISP_E_TYPEMISMATCH;
    if (value > kLimit || (negative && value != 0))
        return DISP_E_OVERFLOW;
    *pulOut = static_cast<ULONG>(value);
    return S_OK;
}

}  // extern "C"
