// The worker's loop. It enters the sandbox before it reads its first
// request, so that no filter ever runs outside it; it then does for each
// file what a filtering job does in process (FilterFoundFile), through the
// file's descriptor as a stream where the host passed one, and answers.
// The host judges the worker from outside (the time a file takes, the way
// it ended), so nothing here guards against the filter.
#include "isolation/filter_worker.h"

#include "filtering/failure_cause.h"
#include "filtering/filter_jobs.h"
#include "filtering/filter_loader.h"
#include "isolation/sandbox.h"
#include "isolation/worker_messages.h"
#include "isolation/worker_progress.h"
#include "isolation/worker_watchdog.h"

#include <win32/descriptor_stream.h>

#include <unistd.h>

#include <new>
#include <span>
#include <utility>
#include <vector>

namespace host::isolation {

namespace {

// The record of a file that failed for memory, with nothing of what was
// read of it kept: the host tries it again alone.
void ShortOfMemory(FileRecord& record)
{
    StartAgain(record);
    record.status = E_OUTOFMEMORY;
    record.cause = "out of memory";
    record.memoryShort = record.outside = true;
}

// Filters one file of a batch, through its descriptor as a stream.
void FilterOne(FilterLoader& loader, const BatchRequest& request, FileRequest& file, int descriptor,
               FileRecord& record)
{
    record.path = std::move(file.path);
    if (FAILED(PlatformCreateStreamOnDescriptor(descriptor, record.stream.Receive()))) {
        FailForPath(record);  // a folder, a pipe or a device: no file to read
        return;
    }
    FilterJobSettings settings;
    settings.bufferUnits = request.bufferUnits;
    settings.binding = request.binding;
    settings.readProperties = request.readProperties;
    try {
        FilterFoundFile(loader, FilterLocation{file.clsid, std::move(file.modulePath)}, settings, record);
    } catch (const std::bad_alloc&) {
        ShortOfMemory(record);
    }
    record.stream.Reset();
}

// How much of the record's text the answer carries.
size_t TextBytes(const FileRecord& record)
{
    size_t bytes = record.cause.size() + record.properties.others.size();
    for (const ChunkRecord& chunk : record.chunks)
        bytes += (chunk.text.size() + chunk.value.size()) * sizeof(char16_t);
    return bytes;
}

// Gives up the record with the most text, as a failure for memory; false
// when every record is given up already.
bool GiveUpLargest(std::span<FileRecord> records)
{
    FileRecord* largest = nullptr;
    for (FileRecord& record : records)
        if (record.status != E_OUTOFMEMORY && (!largest || TextBytes(record) > TextBytes(*largest)))
            largest = &record;
    if (!largest)
        return false;
    ShortOfMemory(*largest);
    return true;
}

// The answer for `records`, in `answer`. Memory that runs short while it is
// made costs the records with the most text, one after another: they fail
// for memory, and the host tries those files alone. False when not even
// that fits.
bool Answer(std::span<FileRecord> records, std::string& answer)
{
    for (;;) {
        try {
            std::vector<const FileRecord*> answers;
            for (const FileRecord& record : records)
                answers.push_back(&record);
            EncodeRecords(answers.data(), answers.size(), answer);
            return true;
        } catch (const std::bad_alloc&) {
            std::string().swap(answer);  // what it held goes first
            if (!GiveUpLargest(records))
                return false;
        }
    }
}

// Text that the worker holds before it answers with the files filtered so
// far and sends the rest of the batch back: the answer, and each side's
// memory for it, stay small however large the texts (memory new to a
// process costs a fault a page, and a batch of files with long lyrics or
// comments is tens of megabytes, which the host would hold until the
// files before them are delivered).
constexpr size_t kAnswerBytes = 1u << 20;

// Answers with the records [from, to) and lets their memory go. False when
// the host is gone or memory ran out.
bool AnswerPart(std::vector<FileRecord>& records, size_t from, size_t to, std::string& answer)
{
    const std::span<FileRecord> part(records.data() + from, to - from);
    if (!Answer(part, answer) || !SendMessage(kWorkerSocket, answer))
        return false;
    for (FileRecord& record : part)
        record = FileRecord{};
    return true;
}

// Filters one batch and answers it. Once the files filtered hold about
// kAnswerBytes of text, they are answered, and the rest of the batch is
// sent back unfiltered (an empty answer): the host takes those again in
// their turn, so that it never holds a whole batch of long texts. False
// when the host is gone, or memory ran out outside the filters' work: the
// worker ends, and the host sends the files it has no answer for to
// another.
bool ServeBatch(FilterLoader& loader, Watchdog& watchdog, ProgressPage& progress, BatchRequest& request,
                std::vector<int>& descriptors, std::vector<FileRecord>& records, std::string& answer)
{
    try {
        watchdog.Busy(true);
        records.clear();
        records.resize(request.files.size());
        size_t filtered = 0, held = 0;
        while (filtered < records.size() && held < kAnswerBytes) {
            progress->Begin(request.sequence, static_cast<uint32_t>(filtered));
            FilterOne(loader, request, request.files[filtered], std::exchange(descriptors[filtered], -1),
                      records[filtered]);
            held += TextBytes(records[filtered++]);
        }
        progress->Begin(request.sequence, static_cast<uint32_t>(records.size()));  // answering: no file's doing
        watchdog.Busy(false);
        for (size_t i = filtered; i < descriptors.size(); ++i)
            ::close(std::exchange(descriptors[i], -1));  // the host opens them again when it sends them again
        return AnswerPart(records, 0, filtered, answer) &&
               (filtered == records.size() || SendMessage(kWorkerSocket, std::string_view()));
    } catch (const std::bad_alloc&) {
        progress->Begin(request.sequence, static_cast<uint32_t>(records.size()));
        return false;
    }
}

}  // namespace

int RunFilterWorker(const WorkerSettings& settings)
{
    ProgressPage progress;
    if (!progress.Map(kWorkerProgress))
        return 2;
    // Never destroyed: its thread runs until the process ends.
    Watchdog& watchdog = *new Watchdog(settings.memoryMiB);
    EnterSandbox(SandboxSettings{});
    watchdog.Start();
    FilterLoader loader;  // modules stay loaded from file to file
    std::string bytes, answer;  // kept from batch to batch, with their memory
    std::vector<int> descriptors;
    std::vector<FileRecord> records;
    for (;;) {
        if (!ReceiveMessage(kWorkerSocket, bytes, &descriptors)) {
            // The host's last word: the report goes back through the socket
            // (the worker may write no file, its standard error included).
            std::string report;
            const bool unloaded = loader.CheckUnload(settings.verbose, &report);
            SendMessage(kWorkerSocket, report);
            return unloaded ? 0 : kModulesHeld;
        }
        BatchRequest request;
        if (!DecodeRequest(bytes, request) || descriptors.size() != request.files.size()) {
            for (const int descriptor : descriptors)
                ::close(descriptor);
            return 2;
        }
        if (!ServeBatch(loader, watchdog, progress, request, descriptors, records, answer))
            return 0;
    }
}

}  // namespace host::isolation
