// A TagLib file over a stream of bytes in memory, with no tag or audio
// properties of its own: what TagLib's readers of single parts (an APE tag,
// an MPEG frame header) read from.
#pragma once

#include <taglib/tfile.h>

namespace platform {

class BareTagLibFile final : public TagLib::File {
public:
    explicit BareTagLibFile(TagLib::IOStream* stream) : TagLib::File(stream) {}
    TagLib::Tag* tag() const override { return nullptr; }
    TagLib::AudioProperties* audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

}  // namespace platform
