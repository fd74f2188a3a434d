#include "chunk_printer.h"

#include "console.h"

namespace host {
namespace {

struct PropertyRow {
    GUID propertySet;
    PROPID id;
    const char* name;
};

constexpr GUID summaryInformation = {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};

const PropertyRow propertyTable[] = {
    {PSGUID_STORAGE, PID_STG_CONTENTS, "PID_STG_CONTENTS"},
    {summaryInformation, PIDSI_TITLE, "PIDSI_TITLE"},
    {summaryInformation, PIDSI_AUTHOR, "PIDSI_AUTHOR"},
    {summaryInformation, PIDSI_COMMENTS, "PIDSI_COMMENTS"},
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

const char* FlagsName(ULONG flags)
{
    switch (flags) {
    case CHUNK_TEXT:
        return "CHUNK_TEXT";
    case CHUNK_VALUE:
        return "CHUNK_VALUE";
    default:
        return "other";
    }
}

std::string JsonString(std::u16string_view text)
{
    std::string out = "\"";
    for (char c : ToUtf8(text)) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

}  // namespace

std::string GuidText(REFGUID id)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                  id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    return text;
}

void PrintFileText(FILE* out, const FileRecord& record)
{
    std::fprintf(out, "%s: %s%s%s\n", ToUtf8(record.path).c_str(), StatusName(record.status).c_str(),
                 record.problem.empty() ? "" : ": ", record.problem.c_str());
    for (const ChunkRecord& chunk : record.chunks) {
        const STAT_CHUNK& stat = chunk.stat;
        std::fprintf(out, "  chunk %u: break %d, flags %s, locale 0x%04X, %s %u %s\n",
                     static_cast<unsigned>(stat.idChunk), static_cast<int>(stat.breakType), FlagsName(stat.flags),
                     static_cast<unsigned>(stat.locale), GuidText(stat.attribute.guidPropSet).c_str(),
                     static_cast<unsigned>(stat.attribute.psProperty.propid), PropertyName(stat.attribute));
        if (stat.flags & CHUNK_TEXT) {
            // One printed line per line of the text.
            std::u16string_view text = chunk.text;
            while (!text.empty()) {
                size_t end = text.find(u"\r\n");
                std::u16string_view line = text.substr(0, end);
                std::fprintf(out, "    | %s\n", ToUtf8(line).c_str());
                text = end == std::u16string_view::npos ? std::u16string_view() : text.substr(end + 2);
            }
        }
        if (stat.flags & CHUNK_VALUE) {
            if (FAILED(chunk.valueStatus))
                std::fprintf(out, "    = %s\n", StatusName(chunk.valueStatus).c_str());
            else if (chunk.valueType == VT_LPWSTR)
                std::fprintf(out, "    = VT_LPWSTR %s\n", JsonString(chunk.value).c_str());
            else
                std::fprintf(out, "    = type %u\n", static_cast<unsigned>(chunk.valueType));
        }
    }
}

void PrintFileJson(FILE* out, const FileRecord& record)
{
    std::fprintf(out, "{\"file\": %s, \"status\": %s, ", JsonString(record.path).c_str(),
                 JsonString(FromUtf8(StatusName(record.status))).c_str());
    if (!record.problem.empty())
        std::fprintf(out, "\"error\": %s, ", JsonString(FromUtf8(record.problem)).c_str());
    std::fprintf(out, "\"chunks\": [");
    const char* separator = "";
    for (const ChunkRecord& chunk : record.chunks) {
        const STAT_CHUNK& stat = chunk.stat;
        std::fprintf(out,
                     "%s{\"id\": %u, \"break\": %d, \"flags\": %u, \"locale\": %u, \"propset\": \"%s\", "
                     "\"propid\": %u, \"property\": \"%s\", \"source\": %u",
                     separator, static_cast<unsigned>(stat.idChunk), static_cast<int>(stat.breakType),
                     static_cast<unsigned>(stat.flags), static_cast<unsigned>(stat.locale),
                     GuidText(stat.attribute.guidPropSet).c_str(),
                     static_cast<unsigned>(stat.attribute.psProperty.propid), PropertyName(stat.attribute),
                     static_cast<unsigned>(stat.idChunkSource));
        if (stat.flags & CHUNK_TEXT)
            std::fprintf(out, ", \"text\": %s", JsonString(chunk.text).c_str());
        if (stat.flags & CHUNK_VALUE) {
            if (FAILED(chunk.valueStatus))
                std::fprintf(out, ", \"valueStatus\": %s",
                             JsonString(FromUtf8(StatusName(chunk.valueStatus))).c_str());
            else
                std::fprintf(out, ", \"value\": %s", JsonString(chunk.value).c_str());
        }
        std::fputc('}', out);
        separator = ", ";
    }
    std::fprintf(out, "]}\n");
}

}  // namespace host
