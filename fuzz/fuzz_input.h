// A fuzzer's input read as a series of choices: numbers taken from the
// front, then bytes or text. Reads past the end give zeros and empty
// pieces, so that every input is a valid series.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

// Lenient UTF-8: well-formed sequences (encoded surrogates included, so that
// lone surrogates reach the code under test) become their units; any other
// byte stands for itself.
inline std::u16string DecodeLenientUtf8(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i < size;) {
        const uint8_t lead = data[i];
        int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : 0;
        uint32_t code = extra == 3 ? lead & 0x07 : extra == 2 ? lead & 0x0F : extra == 1 ? lead & 0x1F : lead;
        bool wellFormed = i + extra < size;
        for (int k = 1; wellFormed && k <= extra; ++k) {
            if ((data[i + k] & 0xC0) != 0x80)
                wellFormed = false;
            else
                code = (code << 6) | (data[i + k] & 0x3F);
        }
        if (!wellFormed || code > 0x10FFFF) {
            extra = 0;
            code = lead;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(code));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return text;
}

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data(data), size(size) {}

    bool Empty() const { return position == size; }
    size_t Left() const { return size - position; }

    uint8_t Byte() { return position < size ? data[position++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }

    // Up to `count` bytes (fewer at the end).
    std::vector<uint8_t> Bytes(size_t count)
    {
        count = count < Left() ? count : Left();
        std::vector<uint8_t> bytes(data + position, data + position + count);
        position += count;
        return bytes;
    }
    std::vector<uint8_t> Rest() { return Bytes(Left()); }

    // A text whose byte length (up to 255) is the next byte.
    std::u16string ShortText()
    {
        const std::vector<uint8_t> bytes = Bytes(Byte());
        return DecodeLenientUtf8(bytes.data(), bytes.size());
    }

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

}  // namespace fuzzing
