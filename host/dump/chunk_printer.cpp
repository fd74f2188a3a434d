// The two dump formats. The text form names the chunk's break, flags and
// property where it knows them, and puts each line of text behind a margin.
// The JSON form is built by hand with to_chars, with room reserved at a byte
// a unit: formatting was the larger part of the host's work on small files,
// and three bytes a unit would hold memory a large file never uses.
#include "dump/chunk_printer.h"

#include "text/text_conversion.h"
#include "text/text_escape.h"
#include "text/status_names.h"

#include <charconv>
#include <cstdio>

namespace host {
namespace {

struct PropertyRow {
    GUID propertySet;
    PROPID id;
    const char* name;
};

const PropertyRow propertyTable[] = {
    {PSGUID_STORAGE, PID_STG_CONTENTS, "PID_STG_CONTENTS"},
    {FMTID_SummaryInformation, PIDSI_TITLE, "PIDSI_TITLE"},
    {FMTID_SummaryInformation, PIDSI_AUTHOR, "PIDSI_AUTHOR"},
    {FMTID_SummaryInformation, PIDSI_COMMENTS, "PIDSI_COMMENTS"},
};

struct NameRow {
    ULONG value;
    const char* name;
};

const NameRow flagNames[] = {
    {CHUNK_TEXT, "CHUNK_TEXT"},
    {CHUNK_VALUE, "CHUNK_VALUE"},
};

const NameRow breakNames[] = {
    {CHUNK_NO_BREAK, "CHUNK_NO_BREAK"}, {CHUNK_EOW, "CHUNK_EOW"}, {CHUNK_EOS, "CHUNK_EOS"},
    {CHUNK_EOP, "CHUNK_EOP"},           {CHUNK_EOC, "CHUNK_EOC"},
};

const char* PropertyName(const FULLPROPSPEC& property)
{
    if (property.psProperty.ulKind != PRSPEC_PROPID)
        return "";
    for (const PropertyRow& row : propertyTable)
        if (IsEqualGUID(row.propertySet, property.guidPropSet) && row.id == property.psProperty.propid)
            return row.name;
    return "";
}

template <size_t count>
std::string NameOf(const NameRow (&table)[count], ULONG value)
{
    for (const NameRow& row : table)
        if (row.value == value)
            return row.name;
    return std::to_string(value);
}

template <typename Number>
void AppendNumber(std::string& out, Number number)
{
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

// The chunk's fields that both formats print, as JSON members. Written by
// hand rather than through a format string: every file has four chunks,
// and formatting was the larger part of the host's work on small files.
void AppendChunkJsonFields(std::string& out, const STAT_CHUNK& stat)
{
    out += "{\"id\": ";
    AppendNumber(out, static_cast<unsigned>(stat.idChunk));
    out += ", \"break\": ";
    AppendNumber(out, static_cast<int>(stat.breakType));
    out += ", \"flags\": ";
    AppendNumber(out, static_cast<unsigned>(stat.flags));
    out += ", \"locale\": ";
    AppendNumber(out, static_cast<unsigned>(stat.locale));
    out += ", \"propset\": \"";
    AppendGuidText(out, stat.attribute.guidPropSet);
    out += "\", \"propid\": ";
    AppendNumber(out, static_cast<unsigned>(stat.attribute.psProperty.propid));
    out += ", \"property\": \"";
    out += PropertyName(stat.attribute);
    out += "\", \"source\": ";
    AppendNumber(out, static_cast<unsigned>(stat.idChunkSource));
}

// Each line of `text` (ended by CR LF, LF or CR) behind the margin "    | ".
void AppendMarginLines(std::string& out, std::u16string_view text)
{
    while (!text.empty()) {
        const size_t end = text.find_first_of(u"\r\n");
        out += "    | ";
        AppendEscaped(out, text.substr(0, end), Escaping::terminal);
        out += '\n';
        if (end == std::u16string_view::npos)
            break;
        const size_t next = text.compare(end, 2, u"\r\n") == 0 ? end + 2 : end + 1;
        text = text.substr(next);
    }
}

}  // namespace

void AppendGuidText(std::string& out, REFGUID id)
{
    WCHAR text[40];
    char ascii[40];
    const int units = StringFromGUID2(id, text, 40);  // with its NUL
    for (int i = 0; i + 1 < units; ++i)
        ascii[i] = static_cast<char>(text[i]);  // a GUID's text is ASCII
    out.append(ascii, units > 0 ? units - 1 : 0);
}

std::string GuidText(REFGUID id)
{
    std::string text;
    AppendGuidText(text, id);
    return text;
}

void FormatFileText(std::string& out, const FileRecord& record)
{
    AppendEscaped(out, record.path, Escaping::terminal);
    out += ": " + StatusName(record.status);
    if (!record.cause.empty())
        out += ": " + record.cause;
    out += '\n';
    for (const ChunkRecord& chunk : record.chunks) {
        const STAT_CHUNK& stat = chunk.stat;
        char line[256];
        std::snprintf(line, sizeof line, "  chunk %u: break %s, flags %s, locale 0x%04X, %s %u %s\n",
                      static_cast<unsigned>(stat.idChunk), NameOf(breakNames, stat.breakType).c_str(),
                      NameOf(flagNames, stat.flags).c_str(), static_cast<unsigned>(stat.locale),
                      GuidText(stat.attribute.guidPropSet).c_str(),
                      static_cast<unsigned>(stat.attribute.psProperty.propid), PropertyName(stat.attribute));
        out += line;
        if (stat.flags & CHUNK_TEXT)
            AppendMarginLines(out, chunk.text);
        if (stat.flags & CHUNK_VALUE) {
            if (FAILED(chunk.valueStatus))
                out += "    = " + StatusName(chunk.valueStatus) + "\n";
            else if (chunk.valueType == VT_LPWSTR)
                out += "    = VT_LPWSTR " + JsonString(chunk.value) + "\n";
            else
                out += "    = type " + std::to_string(chunk.valueType) + "\n";
        }
    }
}

void FormatFileJson(std::string& out, const FileRecord& record)
{
    // Room for the whole object at once where its text is ASCII, a byte a
    // unit, and the chunks' fields; other text grows it. Not three bytes a
    // unit: that room is address space that a large record would hold for
    // nothing, beside files still being read.
    size_t units = record.path.size();
    for (const ChunkRecord& chunk : record.chunks)
        units += chunk.text.size() + chunk.value.size();
    out.reserve(out.size() + units + 320 * record.chunks.size() + 256);
    out += "{\"file\": ";
    out += JsonString(record.path);
    out += ", \"status\": \"" + StatusName(record.status) + "\", ";
    if (!record.cause.empty())
        out += "\"error\": " + JsonString(FromUtf8(record.cause)) + ", ";
    out += "\"chunks\": [";
    const char* separator = "";
    for (const ChunkRecord& chunk : record.chunks) {
        out += separator;
        AppendChunkJsonFields(out, chunk.stat);
        if (chunk.stat.flags & CHUNK_TEXT) {
            out += ", \"text\": \"";
            AppendEscaped(out, chunk.text, Escaping::json);
            out += '"';
        }
        if (chunk.stat.flags & CHUNK_VALUE) {
            if (FAILED(chunk.valueStatus)) {
                out += ", \"valueStatus\": \"" + StatusName(chunk.valueStatus) + '"';
            } else {
                out += ", \"value\": \"";
                AppendEscaped(out, chunk.value, Escaping::json);
                out += '"';
            }
        }
        out += '}';
        separator = ", ";
    }
    out += "]}\n";
}

}  // namespace host
