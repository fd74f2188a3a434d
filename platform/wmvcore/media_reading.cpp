// Opens the file, tells its format by content, checks its structure, then
// lets TagLib read the tags.
#include "media_reading.h"

#include "asf_layout.h"
#include "asf_reading.h"
#include "id3_reading.h"
#include "media_file.h"
#include "mpeg_probe.h"

namespace platform {

HRESULT ReadMediaAttributes(const std::string& path, AttributeList& attributes)
{
    attributes.Clear();

    MediaFile file;
    HRESULT result = file.Open(path);
    if (FAILED(result))
        return result;

    std::vector<BYTE> head;
    file.Read(0, 16, head);
    if (StartsWithAsfHeader(head)) {
        AsfLayout layout;
        result = ReadAsfLayout(file, layout);
        if (SUCCEEDED(result))
            result = ReadAsfAttributes(path, layout, attributes);
    } else {
        MpegProbe probe;
        result = ProbeMpegFile(file, probe);
        if (SUCCEEDED(result))
            result = ReadMpegAttributes(path, attributes);
    }
    if (FAILED(result))
        attributes.Clear();
    return result;
}

}  // namespace platform
