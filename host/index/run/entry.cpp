// Turns a filtered file's chunks into the index's entry: each chunk's text
// goes to the column its property names (title, author, comments, else the
// body), as UTF-8; the paths, as the index keeps and prints them; and the
// index that --db names.
#include "index/run/entry.h"


#include "text/text_conversion.h"
#include "text/status_names.h"
#include "text/text_escape.h"
#include "system/platform_differences.h"

#include <algorithm>
#include <cstdio>

namespace host::index {
namespace {

struct ColumnRow {
    GUID propertySet;
    PROPID id;
    std::string IndexEntry::*column;
};

const ColumnRow columnTable[] = {
    {PSGUID_STORAGE, PID_STG_CONTENTS, &IndexEntry::body},
    {FMTID_SummaryInformation, PIDSI_TITLE, &IndexEntry::title},
    {FMTID_SummaryInformation, PIDSI_AUTHOR, &IndexEntry::author},
    {FMTID_SummaryInformation, PIDSI_COMMENTS, &IndexEntry::comments},
};

std::string* ColumnOf(IndexEntry& entry, const FULLPROPSPEC& property)
{
    if (property.psProperty.ulKind != PRSPEC_PROPID)
        return nullptr;
    for (const ColumnRow& row : columnTable)
        if (IsEqualGUID(row.propertySet, property.guidPropSet) && row.id == property.psProperty.propid)
            return &(entry.*row.column);
    return nullptr;
}

// Appends `text` in UTF-8. Lines end in "\n" in the index: the filter's
// "\r\n" costs a byte a line and shows in snippets.
void Append(std::string& column, std::u16string_view text)
{
    if (text.empty())
        return;
    if (!column.empty() && column.back() != '\n')
        column += '\n';
    const size_t start = column.size();
    const size_t room = text.size() * 3;  // a UTF-16 unit is at most three UTF-8 bytes
    column.resize(start + room);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(text.data()), int(text.size()),
                                          column.data() + start, int(room), nullptr, nullptr);
    column.resize(start + (bytes > 0 ? bytes : 0));
    column.erase(std::remove(column.begin() + start, column.end(), '\r'), column.end());
}

}  // namespace

IndexEntry EntryFromRecord(const FileRecord& record, const FileStamp& stamp)
{
    IndexEntry entry;
    entry.path = PathBytes(record.path);
    entry.stamp = stamp;
    entry.status = StatusSymbol(record.status);
    entry.failed = FAILED(record.status);
    entry.keep = entry.failed && record.outside;
    entry.cause = record.cause;
    if (entry.failed || record.skipped)
        return entry;
    for (const ChunkRecord& chunk : record.chunks) {
        std::string* column = ColumnOf(entry, chunk.stat.attribute);
        if (!column)
            continue;
        if (chunk.stat.flags & CHUNK_TEXT)
            Append(*column, chunk.text);
        else if (SUCCEEDED(chunk.valueStatus) && chunk.valueType == VT_LPWSTR)
            Append(*column, chunk.value);
    }
    entry.media = record.properties;
    return entry;
}

std::string PathBytes(std::u16string_view path)
{
    return ToCodePage(CP_ACP, path);
}

std::string PrintablePath(std::string_view bytes)
{
    std::string out;
    AppendEscaped(out, PathFromListBytes(bytes), Escaping::terminal);
    return out;
}

}  // namespace host::index
