// The stand-in's stream over an open file, which SHCreateStreamOnFileEx and
// PlatformCreateStreamOnDescriptor hand out. Besides IStream it answers an
// interface of the stand-in's own that gives its descriptor: the media
// runtime's reader tells one version of a file from another by the file's
// device, number and times, which only the descriptor can say.
#pragma once

#include <win32/streams.h>

#include <sys/stat.h>

#include <string>

// The stand-in's own: the descriptor behind a stream over a file, and the
// file's status as the stream was made (its device, number, size and
// times then: one look at the descriptor serves every reader of the
// stream, which a look for each would cost a call to the system apiece).
// Both stay the stream's; they are valid while the caller holds the
// stream.
struct IPlatformFileStream : IUnknown {
    virtual int STDMETHODCALLTYPE Descriptor() = 0;
    virtual const struct stat& STDMETHODCALLTYPE OpenedStatus() = 0;
};
DECLARE_PLATFORM_GUID(IID_IPlatformFileStream);

namespace platform::shell {

// A read-only stream over `descriptor` (owned from then on; closed here on
// failure too), with `name` for Stat (may be empty).
HRESULT CreateFileStream(int descriptor, std::u16string name, IStream** stream);

}  // namespace platform::shell
