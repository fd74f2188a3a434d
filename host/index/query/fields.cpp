// The table of the fields a query names and the columns the index keeps.
// `artist:` is the author under the name people use for music; a property's column on SQLite holds its words
// as they are, and on PostgreSQL, whose vectors tell only four fields apart,
// its words follow its marker.
#include "index/query/fields.h"

#include "filtering/media_properties.h"
#include "index/store/database.h"

#include <algorithm>

namespace host::index {

// Title above author and comments, above the body, which the properties,
// tags and names are ranked with: what a file is called and by whom weighs
// most.
#define TRELLAN_NOT_SHOWN nullptr, nullptr, nullptr
#define TRELLAN_NO_PROPERTY nullptr, nullptr
const Field fieldTable[] = {
    {"title", FieldKind::text, "title", 10.0, 'A', nullptr, PlaceKind::path, &SearchHit::title, nullptr, nullptr,
     TRELLAN_NO_PROPERTY},
    {"author", FieldKind::text, "author", 4.0, 'B', nullptr, PlaceKind::path, &SearchHit::author, nullptr,
     "texts.author", TRELLAN_NO_PROPERTY},
    {"artist", FieldKind::text, "author", 0, 'B', nullptr, PlaceKind::path, &SearchHit::author, nullptr,
     "texts.author", TRELLAN_NO_PROPERTY},
    {"comments", FieldKind::text, "comments", 4.0, 'C', nullptr, PlaceKind::path, TRELLAN_NOT_SHOWN,
     TRELLAN_NO_PROPERTY},
    {"body", FieldKind::text, "body", 1.0, 'D', nullptr, PlaceKind::path, TRELLAN_NOT_SHOWN, TRELLAN_NO_PROPERTY},
    {"album", FieldKind::words, "album", 0, 'D', "album", PlaceKind::path, &SearchHit::album, nullptr,
     "files.album", &MediaProperties::album, nullptr},
    {"albumartist", FieldKind::words, "albumartist", 0, 'D', "albumartist", PlaceKind::path, &SearchHit::albumArtist,
     nullptr, "files.albumartist", &MediaProperties::albumArtist, nullptr},
    {"genre", FieldKind::words, "genre", 0, 'D', "genre", PlaceKind::path, &SearchHit::genre, nullptr,
     "files.genre", &MediaProperties::genre, nullptr},
    {"composer", FieldKind::words, "composer", 0, 'D', "composer", PlaceKind::path, &SearchHit::composer, nullptr,
     "files.composer", &MediaProperties::composer, nullptr},
    {"year", FieldKind::number, "year", 0, 'D', "year", PlaceKind::path, nullptr, &SearchHit::year, "files.year",
     nullptr, &MediaProperties::year},
    {"track", FieldKind::number, "track", 0, 'D', "track", PlaceKind::path, nullptr, &SearchHit::track, nullptr,
     nullptr, &MediaProperties::track},
    {"disc", FieldKind::number, "disc", 0, 'D', "disc", PlaceKind::path, nullptr, &SearchHit::disc, nullptr,
     nullptr, &MediaProperties::disc},
    {"name", FieldKind::words, "name", 0, 'D', "name", PlaceKind::path, TRELLAN_NOT_SHOWN, TRELLAN_NO_PROPERTY},
    // the names of the folders above
    {nullptr, FieldKind::words, "folders", 0, 'D', nullptr, PlaceKind::path, TRELLAN_NOT_SHOWN, TRELLAN_NO_PROPERTY},
    {"tag", FieldKind::tag, "tags", 0, 'D', nullptr, PlaceKind::path, TRELLAN_NOT_SHOWN, TRELLAN_NO_PROPERTY},
    {"path", FieldKind::place, nullptr, 0, 0, nullptr, PlaceKind::path, TRELLAN_NOT_SHOWN, TRELLAN_NO_PROPERTY},
    {"dir", FieldKind::place, nullptr, 0, 0, nullptr, PlaceKind::dir, TRELLAN_NOT_SHOWN, TRELLAN_NO_PROPERTY},
    {"ext", FieldKind::place, nullptr, 0, 0, nullptr, PlaceKind::ext, TRELLAN_NOT_SHOWN, TRELLAN_NO_PROPERTY},
};
#undef TRELLAN_NOT_SHOWN
#undef TRELLAN_NO_PROPERTY
const size_t fieldCount = sizeof fieldTable / sizeof fieldTable[0];

std::string PropertyText(const Field& field, const MediaProperties& properties)
{
    if (field.propertyText)
        return properties.*field.propertyText;
    const std::int64_t number = field.propertyNumber ? properties.*field.propertyNumber : 0;
    return number ? std::to_string(number) : std::string();
}

const Field* FindField(std::string_view name)
{
    for (const Field& field : fieldTable) {
        if (!field.name)
            continue;
        const std::string_view known = field.name;
        if (known.size() != name.size())
            continue;
        size_t i = 0;
        while (i < name.size() && (name[i] >= 'A' && name[i] <= 'Z' ? name[i] + 32 : name[i]) == known[i])
            ++i;
        if (i == name.size())
            return &field;
    }
    return nullptr;
}

const std::vector<const Field*>& ColumnFields()
{
    static const std::vector<const Field*> columns = [] {
        std::vector<const Field*> made;
        for (size_t i = 0; i < fieldCount; ++i) {
            const char* column = fieldTable[i].column;
            auto same = [&](const Field* seen) { return std::string_view(seen->column) == column; };
            if (column && std::none_of(made.begin(), made.end(), same))
                made.push_back(&fieldTable[i]);
        }
        return made;
    }();
    return columns;
}

const std::string& FieldNameList()
{
    static const std::string list = [] {
        std::string names;
        for (size_t i = 0; i < fieldCount; ++i) {
            if (!fieldTable[i].name)
                continue;
            names.append(names.empty() ? "" : i + 1 == fieldCount ? " and " : ", ")
                .append(fieldTable[i].name)
                .append(fieldTable[i].kind == FieldKind::tag ? ":NAME" : "");
        }
        return names;
    }();
    return list;
}

}  // namespace host::index
