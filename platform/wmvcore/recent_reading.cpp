// The kept reading: one a thread, given up at the next open whatever it
// finds.
#include "recent_reading.h"

#include <optional>

namespace platform {
namespace {

// Larger readings (long lyrics, many tags) are not kept: their memory
// goes back at Close, as it always did.
constexpr uint64_t kMostKeptBytes = 64 << 10;

struct RecentReading {
    std::string path;
    FileIdentity identity;
    std::vector<MediaAttribute> attributes;
    uint64_t bytes = 0;  // what they take, at most kMostKeptBytes
};

thread_local std::optional<RecentReading> recent;

// Hands the kept attributes over to `attributes`; nothing new is admitted,
// since they are in memory already.
void TakeKept(RecentReading& kept, AttributeList& attributes, ReadingAdmission& admission)
{
    admission.Release();
    attributes.Clear();
    attributes.Reserve(kept.attributes.size());
    for (MediaAttribute& attribute : kept.attributes)
        attributes.Add(std::move(attribute));
}

}  // namespace

bool ReopenRecent(MediaFile& file, AttributeList& attributes, ReadingAdmission& admission)
{
    std::optional<RecentReading> kept = std::move(recent);
    recent.reset();
    if (!kept || file.Identity() == FileIdentity() || file.Identity() != kept->identity)
        return false;
    TakeKept(*kept, attributes, admission);
    return true;
}

bool ReopenRecent(const std::string& path, MediaFile& file, AttributeList& attributes, ReadingAdmission& admission)
{
    std::optional<RecentReading> kept = std::move(recent);
    recent.reset();
    if (!kept || kept->path != path)
        return false;
    bool inFile = false;
    for (const MediaAttribute& attribute : kept->attributes)
        inFile = inFile || !attribute.inFile.Empty();
    // The file is opened again only where a value is left in it.
    const bool same = inFile ? SUCCEEDED(file.Open(path)) && file.Identity() == kept->identity
                             : IdentityOf(path) == kept->identity;
    if (!same) {
        file.Close();
        return false;
    }
    TakeKept(*kept, attributes, admission);
    return true;
}

void KeepRecent(const std::string& path, const MediaFile& file, AttributeList& attributes)
{
    recent.reset();
    uint64_t bytes = 0;
    for (const MediaAttribute& attribute : attributes.All())
        bytes += attribute.name.size() * sizeof(char16_t) + attribute.value.size() + sizeof(MediaAttribute);
    if (bytes > kMostKeptBytes || attributes.Empty() || file.Identity() == FileIdentity()) {
        attributes.Clear();
        return;
    }
    recent = RecentReading{path, file.Identity(), attributes.TakeAll(), bytes};
}

}  // namespace platform
