// Finding the APE tag at the end of an MPEG file, past a Lyrics3 tag, and
// walking its items.
#include "ape_layout.h"

#include "tag_bytes.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

const ApeRow apeTable[] = {
    {"TITLE", u"Title", false},
    {"ARTIST", u"Author", false},
    {"COMMENT", u"Description", false},
    {"COPYRIGHT", u"Copyright", false},
    {"ALBUM", u"WM/AlbumTitle", false},
    {"YEAR", u"WM/Year", true},
    {"GENRE", u"WM/Genre", false},
    {"LYRICS", u"WM/Lyrics", false},
    {"PUBLISHER", u"WM/Publisher", false},
    {"COMPOSER", u"WM/Composer", false},
    {"ALBUM ARTIST", u"WM/AlbumArtist", false},
    {"ALBUMARTIST", u"WM/AlbumArtist", false},
    {"TRACK", u"WM/TrackNumber", false},
    {"DISC", u"WM/PartOfSet", false},
};

const size_t footerSize = 32;  // as the header
const char apeIdentifier[] = "APETAGEX";
const DWORD hasHeader = 0x80000000u;
// An item: value length, flags, key (2 to 255 characters), NUL, value.
const size_t itemHeaderSize = 8;
const size_t longestKey = 255;
const DWORD itemTypeMask = 0x6;  // bits 1 and 2: 0 is UTF-8 text

// Lyrics3: version 2 ends with a six-digit size and "LYRICS200", version 1
// with "LYRICSEND" after at most 5100 bytes of lyrics.
const char lyricsBegin[] = "LYRICSBEGIN";
const size_t longestLyrics1 = 5100;

DWORD LittleEndian(const BYTE* bytes)
{
    return DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
}

bool Is(const std::vector<BYTE>& bytes, size_t at, const char* text)
{
    const size_t length = std::strlen(text);
    return at + length <= bytes.size() && std::memcmp(bytes.data() + at, text, length) == 0;
}

// Where a Lyrics3 tag that ends at `end` begins, or `end` when none does.
uint64_t Lyrics3Start(const MediaFile& file, uint64_t end, uint64_t notBefore)
{
    std::vector<BYTE> bytes;
    const size_t beginLength = sizeof lyricsBegin - 1;
    if (end - notBefore >= 15 + beginLength && file.Read(end - 15, 15, bytes) && Is(bytes, 6, "LYRICS200") &&
        std::all_of(bytes.begin(), bytes.begin() + 6, [](BYTE unit) { return unit >= '0' && unit <= '9'; })) {
        uint64_t size = 0;
        for (int i = 0; i < 6; ++i)
            size = size * 10 + (bytes[i] - '0');
        const uint64_t start = end - 15 - std::min<uint64_t>(size, end - 15);
        if (start >= notBefore && file.Read(start, beginLength, bytes) && Is(bytes, 0, lyricsBegin))
            return start;
    }
    if (end - notBefore >= 9 + beginLength && file.Read(end - 9, 9, bytes) && Is(bytes, 0, "LYRICSEND")) {
        const uint64_t window = std::min<uint64_t>(longestLyrics1 + beginLength, end - 9 - notBefore);
        if (file.Read(end - 9 - window, static_cast<size_t>(window), bytes)) {
            const auto found = std::search(bytes.begin(), bytes.end(), lyricsBegin, lyricsBegin + beginLength);
            if (found != bytes.end())
                return end - 9 - window + static_cast<uint64_t>(found - bytes.begin());
        }
    }
    return end;
}

// A key as TagLib accepts it: printable ASCII, and none of the identifiers
// of other tags.
bool ValidKey(const std::string& key)
{
    if (key.size() < 2 || key.size() > longestKey)
        return false;
    for (const char* reserved : {"ID3", "TAG", "OGGS", "MP+"})
        if (key == reserved)
            return false;
    return std::all_of(key.begin(), key.end(), [](char unit) { return unit >= 0x20 && unit <= 0x7E; });
}

const ApeRow* RowOf(const std::string& upperKey)
{
    for (const ApeRow& row : apeTable)
        if (upperKey == row.key)
            return &row;
    return nullptr;
}

}  // namespace

HRESULT ReadApeTag(const MediaFile& file, uint64_t end, uint64_t notBefore, ApeTag& tag, HeaderBudget& budget)
{
    tag = ApeTag{};
    tag.start = end;
    if (end < notBefore)
        return S_OK;
    const uint64_t apeEnd = Lyrics3Start(file, end, notBefore);
    tag.start = apeEnd;

    std::vector<BYTE> footer;
    if (apeEnd - notBefore < footerSize || !file.Read(apeEnd - footerSize, footerSize, footer) ||
        !Is(footer, 0, apeIdentifier))
        return S_OK;
    const DWORD version = LittleEndian(&footer[8]);
    const DWORD tagSize = LittleEndian(&footer[12]);  // the items and the footer
    const DWORD itemCount = LittleEndian(&footer[16]);
    const DWORD flags = LittleEndian(&footer[20]);
    const uint64_t headerSize = version == 2000 && (flags & hasHeader) ? footerSize : 0;
    if ((version != 1000 && version != 2000) || tagSize < footerSize || tagSize + headerSize > apeEnd - notBefore)
        return S_OK;

    const uint64_t itemsStart = apeEnd - tagSize;
    StoredSource items(file, itemsStart, tagSize - footerSize);
    std::vector<BYTE> kept;
    std::vector<const ApeRow*> rows;
    DWORD keptCount = 0;
    uint64_t position = 0;
    std::vector<BYTE> head, value;
    for (DWORD i = 0; i < itemCount && position < items.Size(); ++i) {
        // The value length and flags, and the key up to its NUL.
        const size_t headLength =
            static_cast<size_t>(std::min<uint64_t>(itemHeaderSize + longestKey + 1, items.Size() - position));
        // An item that runs out of the tag is left out with the ones after
        // it (nothing shows where the next would begin); those before it are
        // kept.
        if (headLength < itemHeaderSize + 3 || !items.Read(position, headLength, head))
            break;
        const auto nul = std::find(head.begin() + itemHeaderSize, head.end(), 0);
        if (nul == head.end())
            break;
        const DWORD valueLength = LittleEndian(&head[0]);
        const DWORD itemFlags = LittleEndian(&head[4]);
        std::string key(head.begin() + itemHeaderSize, nul);
        const uint64_t valueStart = position + itemHeaderSize + key.size() + 1;
        if (valueLength > items.Size() - valueStart)
            break;

        std::transform(key.begin(), key.end(), key.begin(),
                       [](char unit) { return unit >= 'a' && unit <= 'z' ? char(unit - 'a' + 'A') : unit; });
        const ApeRow* row = ValidKey(key) && (itemFlags & itemTypeMask) == 0 ? RowOf(key) : nullptr;
        if (row) {
            if (valueLength > largestValue || !budget.Add(valueLength, true))
                return overLimit;
            if (!items.Read(valueStart, valueLength, value))
                return S_OK;
            kept.insert(kept.end(), head.begin(), nul + 1);
            kept.insert(kept.end(), value.begin(), value.end());
            ++keptCount;
            if (std::find(rows.begin(), rows.end(), row) == rows.end())
                rows.push_back(row);
        }
        position = valueStart + valueLength;
    }

    tag.start = apeEnd - tagSize - headerSize;
    if (keptCount == 0)
        return S_OK;
    // The footer of a tag of the kept items, without a header.
    const DWORD keptSize = static_cast<DWORD>(kept.size() + footerSize);
    const size_t footerAt = kept.size();
    kept.insert(kept.end(), footer.begin(), footer.end());
    auto put = [&](size_t at, DWORD number) {
        for (int b = 0; b < 4; ++b)
            kept[footerAt + at + b] = static_cast<BYTE>(number >> (8 * b));
    };
    put(12, keptSize);
    put(16, keptCount);
    put(20, flags & ~hasHeader);
    tag.rebuilt = std::move(kept);
    tag.rows = std::move(rows);
    return S_OK;
}

}  // namespace platform
