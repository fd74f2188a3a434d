// UTF-16 <-> UTF-8 and TagLib strings.
#include "text_conversion.h"

namespace platform {

// A path's file-system bytes: CP_ACP gives back the bytes of a name that is
// not UTF-8; other lone surrogates become U+FFFD.
std::string Utf8FromUtf16(LPCWSTR text)
{
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return {};
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();  // the NUL
    return out;
}

std::u16string Utf16FromTagLib(const TagLib::String& text)
{
    TagLib::ByteVector bytes = text.data(TagLib::String::UTF16LE);
    return Utf16FromLittleEndian(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
}

std::u16string Utf16FromLittleEndian(const BYTE* bytes, size_t length)
{
    std::u16string out;
    out.reserve(length / 2);
    for (size_t i = 0; i + 1 < length; i += 2) {
        char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        out += unit;
    }
    return out;
}

}  // namespace platform
