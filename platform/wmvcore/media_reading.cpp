// Tells the open file's format by content, checks its structure and
// its limits, makes sure that the memory reading it takes can be had (with
// that of the other readings running), then lets TagLib read the tags from
// the checked bytes.
#include "media_reading.h"

#include "asf_layout.h"
#include "asf_reading.h"
#include "id3_reading.h"
#include "id3v2_layout.h"
#include "media_file.h"
#include "mpeg_probe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace platform {
namespace {

// TagLib is not written to survive an exception in the middle of its work:
// its objects can be left half-built and its reference counts wrong, which
// shows later as a corrupted heap. The limits and the memory check before
// it starts keep it from running out of memory; should it happen all the
// same, the process stops here rather than go on with a heap that cannot
// be trusted.
template <typename Read>
HRESULT InsideTagLib(Read read)
{
    try {
        return read();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "wmvcore: reading the tags failed inside TagLib (%s); its state cannot be trusted, "
                             "so the process stops\n", failure.what());
        std::abort();
    }
}

}  // namespace

HRESULT ReadMediaAttributes(MediaFile& file, AttributeList& attributes, ReadingAdmission& admission)
{
    attributes.Clear();

    HRESULT result = S_OK;
    std::vector<BYTE> head;
    file.Read(0, 16, head);
    if (StartsWithAsfHeader(head)) {
        AsfLayout layout;
        result = ReadAsfLayout(file, layout);
        if (SUCCEEDED(result))
            result = admission.Admit(layout.budget.MemoryEstimate())
                         ? InsideTagLib([&] { return ReadAsfAttributes(layout, attributes); })
                         : E_OUTOFMEMORY;
    } else {
        MpegProbe probe;
        result = ProbeMpegFile(file, probe);
        if (SUCCEEDED(result))
            result = admission.Admit(probe.budget.MemoryEstimate())
                         ? InsideTagLib([&] { return ReadMpegAttributes(file, probe, attributes); })
                         : E_OUTOFMEMORY;
    }
    // What a failed read left the walk with says nothing of the file.
    if (file.ReadFailed())
        result = NS_E_FILE_READ;
    if (FAILED(result)) {
        attributes.Clear();
        admission.Release();
    }
    const auto& all = attributes.All();
    if (std::none_of(all.begin(), all.end(), [](const MediaAttribute& attribute) { return !attribute.inFile.Empty(); }))
        file.Close();
    return result;
}

}  // namespace platform
