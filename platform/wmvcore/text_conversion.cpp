// UTF-16 <-> UTF-8 and TagLib strings, a whole text at a time.
#include "text_conversion.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <cwchar>

namespace platform {
namespace {

static_assert(std::endian::native == std::endian::little, "values are UTF-16LE, as the host's char16_t");

const BYTE replacementCharacter[] = {0xEF, 0xBF, 0xBD};  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence at `bytes`, or, when it is
// ill-formed, the length of its maximal ill-formed part (at least 1) as a
// negative number.
int SequenceLength(const BYTE* bytes, size_t length)
{
    const BYTE lead = bytes[0];
    if (lead < 0x80)
        return 1;
    int trail;
    BYTE low = 0x80, high = 0xBF;  // the range of the first trail byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        if (lead == 0xE0)
            low = 0xA0;  // no overlong forms
        else if (lead == 0xED)
            high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;  // nothing past U+10FFFF
    } else {
        return -1;
    }
    for (int i = 1; i <= trail; ++i) {
        if (static_cast<size_t>(i) >= length)
            return -i;
        const BYTE unit = bytes[i];
        if (i == 1 ? unit < low || unit > high : unit < 0x80 || unit > 0xBF)
            return -i;
    }
    return trail + 1;
}

// TagLib keeps UTF-16 units in wchar_t.
size_t UnitsBeforeNul(const TagLib::String& text)
{
    const wchar_t* units = text.toCWString();
    const wchar_t* nul = std::wmemchr(units, L'\0', text.size());
    return nul ? static_cast<size_t>(nul - units) : text.size();
}

// A loop without an early exit between buffers that do not overlap. GCC
// turns it into vector instructions only with its full vectoriser, which
// -O2 leaves out; clang vectorises it at -O2.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("tree-vectorize", "vect-cost-model=dynamic")))
#endif
void Narrow(const wchar_t* __restrict units, size_t length, char16_t* __restrict out)
{
    for (size_t i = 0; i < length; ++i)
        out[i] = static_cast<char16_t>(units[i]);
}

}  // namespace

// A path's file-system bytes: CP_ACP gives back the bytes of a name that is
// not UTF-8; a path with another lone surrogate names no file, as for
// CreateFileW, and comes back empty.
std::string Utf8FromUtf16(LPCWSTR text)
{
    const int bytes = WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return {};
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, text, -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();  // the NUL
    return out;
}

std::u16string Utf16FromTagLib(const TagLib::String& text)
{
    const size_t length = UnitsBeforeNul(text);
    std::u16string out(length, u'\0');
    Narrow(text.toCWString(), length, out.data());
    return out;
}

std::vector<BYTE> StringValueOf(const TagLib::String& text)
{
    const size_t length = UnitsBeforeNul(text);
    std::vector<BYTE> value((length + 1) * sizeof(char16_t));
    Narrow(text.toCWString(), length, reinterpret_cast<char16_t*>(value.data()));  // the NUL unit is already 0
    return value;
}

std::u16string Utf16FromLittleEndian(const BYTE* bytes, size_t length)
{
    std::u16string out(length / sizeof(char16_t), u'\0');
    if (out.empty())
        return out;  // `bytes` may then be null
    std::memcpy(out.data(), bytes, out.size() * sizeof(char16_t));
    out.resize(std::min(out.find(u'\0'), out.size()));
    return out;
}

bool AppendRepairedUtf8(const BYTE* bytes, size_t length, std::vector<BYTE>& out)
{
    bool repaired = false;
    size_t runStart = 0;  // the well-formed bytes not yet appended begin here
    for (size_t position = 0; position < length;) {
        const int sequence = SequenceLength(bytes + position, length - position);
        if (sequence > 0) {
            position += static_cast<size_t>(sequence);
            continue;
        }
        out.insert(out.end(), bytes + runStart, bytes + position);
        out.insert(out.end(), std::begin(replacementCharacter), std::end(replacementCharacter));
        position += static_cast<size_t>(-sequence);
        runStart = position;
        repaired = true;
    }
    out.insert(out.end(), bytes + runStart, bytes + length);
    return repaired;
}

}  // namespace platform
