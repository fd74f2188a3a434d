// What the host learns of one file: how filtering it went and every chunk
// the filter gave.
#pragma once

#include "com_ptr.h"
#include "filtering/media_properties.h"
#include "winapi.h"

#include <string>
#include <vector>

namespace host {

struct ChunkRecord {
    STAT_CHUNK stat{};
    std::u16string text;         // text chunks: every unit GetText returned
    HRESULT valueStatus = S_OK;  // value chunks: what GetValue answered
    VARTYPE valueType = VT_EMPTY;
    std::u16string value;        // value chunks: the VT_LPWSTR string
};

// How a filter is given its file: through a stream over the file where the
// filter answers IPersistStream, as Windows Search binds, else by its path
// (automatic); or always one way.
enum class Binding { automatic, stream, path };

struct FileRecord {
    std::u16string path;
    // The stream the filter was bound to, kept until the job is finished,
    // so that what the host reads of the file comes from the same stream.
    trellan::ComPtr<IStream> stream;
    bool byStream = false;  // the filter was to be bound by stream (it answers IPersistStream)
    HRESULT status = S_OK;  // the first failure: lookup, creation, Load or Init
    std::string cause;      // the host's own words for a failure, from its look at the path
    bool outside = false;   // the failure is not the file's own: no filter, a module, memory, a permission
    bool noFilter = false;  // ... it is the registry's: no filter registered, or its module cannot be had
    std::vector<ChunkRecord> chunks;
    bool skipped = false;   // not filtered: no filter is registered for a file found in a folder or a list
    // What the file is beyond the filter's texts, when the run asked for it
    // and the runtime could read it.
    MediaProperties properties;
    bool propertiesRead = false;
    // The filter brought its worker down (a crash, a hang, its memory limit):
    // the file is not tried again until it or the filter changes.
    bool filterDown = false;
    // Given up unfinished because the run was asked to stop: nothing is
    // known of the file, and nothing is to be kept of this try.
    bool abandoned = false;
    // Not filtered: its worker answered the files of its batch before it,
    // whose texts were long, and sent it back, so that the host holds no
    // more than about a megabyte of a batch's texts. It is filtered again
    // in its turn.
    bool sentBack = false;
    // The failure may be for want of memory: the file may well be read
    // alone (the host's look at it, or the filter's answer, says so).
    bool memoryShort = false;
};

// Clears a record for filtering again: its path alone, as it came.
inline void StartAgain(FileRecord& record)
{
    FileRecord again;
    again.path = std::move(record.path);
    record = std::move(again);
}

}  // namespace host
