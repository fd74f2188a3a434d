// The worker's loop. It enters the sandbox before it reads its first
// request, so that no filter ever runs outside it; it then does for each
// file what a filtering job does in process (FilterFoundFile), through the
// file's descriptor as a stream where the host passed one, and answers.
// The host judges the worker from outside (the time a file takes, the way
// it ended), so nothing here guards against the filter.
#include "isolation/filter_worker.h"

#include "filtering/filter_jobs.h"
#include "filtering/filter_loader.h"
#include "isolation/sandbox.h"
#include "isolation/worker_messages.h"
#include "isolation/worker_progress.h"

#include <win32/descriptor_stream.h>

#include <sys/resource.h>
#include <unistd.h>

#include <new>
#include <thread>
#include <vector>

namespace host::isolation {

namespace {

// Filters one file of a batch, through its descriptor as a stream.
void FilterOne(FilterLoader& loader, const BatchRequest& request, FileRequest& file, int descriptor,
               FileRecord& record)
{
    record.path = std::move(file.path);
    if (descriptor >= 0 && FAILED(PlatformCreateStreamOnDescriptor(descriptor, record.stream.Receive())))
        record.stream.Reset();
    FilterJobSettings settings;
    settings.bufferUnits = request.bufferUnits;
    settings.binding = request.binding;
    settings.readProperties = request.readProperties;
    try {
        FilterFoundFile(loader, FilterLocation{file.clsid, std::move(file.modulePath)}, settings, record);
    } catch (const std::bad_alloc&) {
        record.chunks.clear();
        record.status = E_OUTOFMEMORY;
        record.cause = "out of memory";
        record.memoryShort = record.outside = true;
    }
    record.stream.Reset();
}

}  // namespace

int RunFilterWorker(const WorkerSettings& settings)
{
    ProgressPage progress;
    if (!progress.Map(kWorkerProgress))
        return 2;
    if (settings.memoryMiB) {
        const rlim_t bytes = rlim_t(settings.memoryMiB) << 20;
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    EnterSandbox(SandboxSettings{});
    // A filter that hangs never lets the loop see the host's socket close:
    // a second thread, in the sandbox too, ends the worker once the host is
    // gone (the worker is then a child of another process).
    const pid_t host = ::getppid();
    std::thread([host] {
        while (::getppid() == host)
            ::sleep(1);
        ::_exit(0);
    }).detach();
    FilterLoader loader;  // modules stay loaded from file to file
    std::string bytes;
    std::vector<int> descriptors;
    std::vector<FileRecord> records;
    std::vector<const FileRecord*> answers;
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
        records.clear();
        records.resize(request.files.size());
        answers.clear();
        for (size_t i = 0; i < records.size(); ++i) {
            progress->Begin(request.sequence, static_cast<uint32_t>(i));
            FilterOne(loader, request, request.files[i], descriptors[i], records[i]);
            answers.push_back(&records[i]);
        }
        if (!SendMessage(kWorkerSocket, EncodeRecords(answers.data(), answers.size())))
            return 0;
    }
}

}  // namespace host::isolation
