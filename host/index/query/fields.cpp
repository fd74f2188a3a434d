// The table of the fields a query names and the columns the index keeps.
// `artist:` is the author under the name people use for music; a property's column on SQLite holds its words
// as they are, and on PostgreSQL, whose vectors tell only four fields apart,
// its words follow its marker.
#include "index/query/fields.h"

namespace host::index {

// Title above author and comments, above the body, above the properties,
// tags and names: what a file is called and by whom weighs most.
const Field fieldTable[] = {
    {"title", FieldKind::text, "title", 10.0, 'A', nullptr, PlaceKind::path},
    {"author", FieldKind::text, "author", 4.0, 'B', nullptr, PlaceKind::path},
    {"artist", FieldKind::text, "author", 0, 'B', nullptr, PlaceKind::path},
    {"comments", FieldKind::text, "comments", 4.0, 'C', nullptr, PlaceKind::path},
    {"body", FieldKind::text, "body", 1.0, 'D', nullptr, PlaceKind::path},
    {"album", FieldKind::words, "album", 0.5, 0, "album", PlaceKind::path},
    {"albumartist", FieldKind::words, "albumartist", 0.5, 0, "albumartist", PlaceKind::path},
    {"genre", FieldKind::words, "genre", 0.5, 0, "genre", PlaceKind::path},
    {"composer", FieldKind::words, "composer", 0.5, 0, "composer", PlaceKind::path},
    {"year", FieldKind::number, "year", 0.5, 0, "year", PlaceKind::path},
    {"track", FieldKind::number, "track", 0.5, 0, "track", PlaceKind::path},
    {"disc", FieldKind::number, "disc", 0.5, 0, "disc", PlaceKind::path},
    {"name", FieldKind::words, "name", 0.2, 0, "name", PlaceKind::path},
    {nullptr, FieldKind::words, "folders", 0.2, 0, nullptr, PlaceKind::path},  // the names of the folders above
    {"tag", FieldKind::tag, "tags", 0.4, 0, nullptr, PlaceKind::path},
    {"path", FieldKind::place, nullptr, 0, 0, nullptr, PlaceKind::path},
    {"dir", FieldKind::place, nullptr, 0, 0, nullptr, PlaceKind::dir},
    {"ext", FieldKind::place, nullptr, 0, 0, nullptr, PlaceKind::ext},
};
const size_t fieldCount = sizeof fieldTable / sizeof fieldTable[0];

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
