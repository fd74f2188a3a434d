// The conversions as two calls to the platform's converters, one that sizes
// the result and one that fills it. No flags are given: UTF-8 that does not
// convert becomes U+FFFD, and on Linux CP_ACP maps a name's bytes that are
// not UTF-8 to lone surrogates and back, so that no file name is lost.
#include "text/text_conversion.h"

namespace host {

std::string ToCodePage(UINT codePage, std::u16string_view text)
{
    if (text.empty())
        return {};
    int bytes = WideCharToMultiByte(codePage, 0, reinterpret_cast<LPCWSTR>(text.data()), int(text.size()), nullptr,
                                    0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(codePage, 0, reinterpret_cast<LPCWSTR>(text.data()), int(text.size()), out.data(),
                            bytes, nullptr, nullptr);
    return out;
}

std::u16string FromCodePage(UINT codePage, std::string_view text)
{
    if (text.empty())
        return {};
    int units = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::u16string out(units > 0 ? units : 0, u'\0');
    if (units > 0)
        MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), reinterpret_cast<LPWSTR>(out.data()),
                            units);
    return out;
}

std::string ToUtf8(std::u16string_view text)
{
    return ToCodePage(CP_UTF8, text);
}

std::u16string FromUtf8(std::string_view text)
{
    return FromCodePage(CP_UTF8, text);
}

}  // namespace host
