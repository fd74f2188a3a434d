// The Linux isolation: filter workers in processes of their own, a pool
// that grows to the number of files filtered at once. The first worker is
// started ahead of the first batch, the others when a batch finds none
// idle, so that a run of a few files starts one worker (vfork, then
// exec of trellan-filter-worker beside the platform library, with its
// limits set in between), serves batch after batch of files, and is ended
// when it crashes, hangs, runs out of memory or answers nonsense; the next
// batch starts another. A batch costs one message each way, whatever its
// number of files (a worker's wake, and the host's, are dear on a virtual
// machine), but for large texts: a worker answers once its files hold
// about a megabyte of text and sends the rest back unfiltered, so that
// neither side's memory for them grows with the batch.
//
// The host opens each file itself and passes the worker the descriptor, so
// a filter bound by stream needs no file system; it also tells a path that
// is no file to read (missing, a folder, a pipe) before any worker is
// asked. Each worker is in a process group of its own, so that the Ctrl-C
// of a terminal reaches the host alone (which decides what to stop); it
// ends itself when the host is gone (a parent's death signal would come
// when the thread that started it ends, which is not the host's end).
#include "filtering/failure_cause.h"
#include "filtering/filter_isolation.h"
#include "filtering/filter_jobs.h"
#include "isolation/filter_worker.h"
#include "isolation/sandbox.h"
#include "isolation/worker_messages.h"
#include "isolation/worker_progress.h"
#include "isolation/worker_watchdog.h"
#include "system/helper_programs.h"
#include "system/slim_lock.h"
#include "text/text_conversion.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <vector>

namespace host {
namespace {

using namespace isolation;
using Clock = std::chrono::steady_clock;


// How often a worker's answer is looked for while the run may be stopped.
constexpr int kPollMilliseconds = 100;

const struct {
    int number;
    const char* name;
} signalNames[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGABRT, "SIGABRT"}, {SIGILL, "SIGILL"}, {SIGFPE, "SIGFPE"},
    {SIGKILL, "SIGKILL"}, {SIGTERM, "SIGTERM"}, {SIGSYS, "SIGSYS"},   {SIGXFSZ, "SIGXFSZ"}, {SIGPIPE, "SIGPIPE"},
    {SIGTRAP, "SIGTRAP"}, {SIGXCPU, "SIGXCPU"},
};

std::string SignalName(int number)
{
    for (const auto& row : signalNames)
        if (row.number == number)
            return row.name;
    return "signal " + std::to_string(number);
}

// One worker process, the host's end of its socket and its progress page.
class Worker {
public:
    Worker(pid_t process, int socket, std::unique_ptr<ProgressPage> page)
        : process(process), socket(socket), page(std::move(page))
    {
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker()
    {
        ::close(socket);
        if (process > 0) {
            ::kill(process, SIGKILL);
            Reap();
        }
    }

    // Starts a worker under `limits`; null, with `problem` set, when it
    // cannot be.
    static std::unique_ptr<Worker> Start(const std::string& program, const IsolationLimits& limits,
                                         std::string& problem)
    {
        auto page = std::make_unique<ProgressPage>();
        if (!page->Create()) {
            problem = std::string("no progress page for a filter worker: ") + std::strerror(errno);
            return nullptr;
        }
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            problem = std::string("no socket for a filter worker: ") + std::strerror(errno);
            return nullptr;
        }
        // The limit on its resident memory, which the worker's watchdog
        // keeps. (A limit on its address space would tune the platform's
        // heap and its reading for a process short of memory, at a cost to
        // every file, and would refuse a filter's large mapping that takes
        // no memory.)
        char memoryArgument[32];
        std::snprintf(memoryArgument, sizeof memoryArgument, "--memory=%lu", limits.memoryMiB);
        const int pageDescriptor = page->Descriptor();
        // vfork: the child borrows the host's memory until it execs, so
        // that a host holding a large index cache does not copy its page
        // tables for a worker.
        const pid_t child = ::vfork();
        if (child == 0) {
            // Only system calls until the exec: the socket as descriptor 3
            // and the page as 4, through copies above both (either may be
            // the other's number now), the group.
            const int socket = ::fcntl(ends[1], F_DUPFD_CLOEXEC, kWorkerProgress + 1);
            const int page = ::fcntl(pageDescriptor, F_DUPFD_CLOEXEC, kWorkerProgress + 1);
            if (socket < 0 || page < 0 || ::dup2(socket, kWorkerSocket) < 0 || ::dup2(page, kWorkerProgress) < 0)
                ::_exit(127);
            ::setpgid(0, 0);
            char name[] = "trellan-filter-worker";
            char verbose[] = "--verbose";
            char* const arguments[] = {name, memoryArgument, limits.verbose ? verbose : nullptr, nullptr};
            ::execv(program.c_str(), arguments);
            ::_exit(127);
        }
        const int error = errno;
        ::close(ends[1]);
        if (child < 0) {
            ::close(ends[0]);
            problem = std::string("a filter worker could not be started: ") + std::strerror(error);
            return nullptr;
        }
        return std::make_unique<Worker>(child, ends[0], std::move(page));
    }

    // How the process ended: waits for it at most `milliseconds`, then
    // kills it. Its peak resident memory in `peakBytes`.
    int Reap(uint64_t* peakBytes = nullptr, int milliseconds = 1000)
    {
        const int exit = static_cast<int>(::syscall(SYS_pidfd_open, process, 0));
        if (exit >= 0) {
            pollfd ended{exit, POLLIN, 0};
            while (::poll(&ended, 1, milliseconds) < 0 && errno == EINTR) {
            }
            if (!(ended.revents & POLLIN))
                ::kill(process, SIGKILL);
            ::close(exit);
        } else {
            ::kill(process, SIGKILL);  // no way to wait with a time limit: no waiting
        }
        int status = 0;
        rusage usage{};
        while (::wait4(process, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        process = 0;
        if (peakBytes)
            *peakBytes = uint64_t(usage.ru_maxrss) * 1024;
        return status;
    }

    // Where the worker is: the batch and file it filters, and since when.
    void Position(uint32_t& batch, uint32_t& file, int64_t& since) const
    {
        const uint64_t position = (*page)->position.load(std::memory_order_acquire);
        since = (*page)->since.load(std::memory_order_relaxed);
        batch = uint32_t(position >> 32);
        file = uint32_t(position);
    }

    pid_t process;
    const int socket;
    // The last part of an answer read, its memory kept for the next.
    std::string answer;

private:
    const std::unique_ptr<ProgressPage> page;
};

// A worker with the batches sent to it and not yet answered, in the order
// they were sent, which is the order it filters them in. The thread whose
// batch is first reads the next answer; the others wait their turn. Two
// batches in flight keep a worker busy while the host takes an answer.
struct Conveyor {
    std::unique_ptr<Worker> worker;
    std::deque<uint32_t> waiting;   // batch numbers, in the order sent
    Clock::time_point frontSince;   // when the first batch became first
    bool dead = false;              // ended: the batches after the first go to another worker
};

// How a batch came back: answered whole; failed whole (given up at a
// stop, or no worker can start); or cut short at `culprit` (which failed,
// and failed alone), the others to be sent again; or not begun (`culprit`
// none), all to be sent again.
enum class Outcome { answered, failed, cut };
constexpr size_t kNoCulprit = ~size_t(0);

class IsolatedFiltering final : public FilterIsolation {
public:
    IsolatedFiltering(const IsolationLimits& limits, bool (*stopRequested)())
        : limits(limits), stopRequested(stopRequested), program(HelperProgram("trellan-filter-worker"))
    {
    }
    ~IsolatedFiltering() override { EndWorkers(); }

    void Prepare() override
    {
        SlimLockHolder hold(lock);
        std::string problem;
        if (conveyors.empty())
            StartConveyor(problem);
    }

    void Filter(IsolatedFile* files, size_t count, const FilterJobSettings& settings) override
    {
        // The files, opened here for the worker; one that cannot be opened
        // fails here, with its path's problem.
        std::vector<IsolatedFile> pending;
        std::vector<int> descriptors;
        for (size_t i = 0; i < count; ++i) {
            const int file = OpenFile(*files[i].record);
            if (file >= 0) {
                pending.push_back(files[i]);
                descriptors.push_back(file);
            }
        }
        const unsigned workers = settings.jobs ? settings.jobs : 1;
        std::vector<std::pair<IsolatedFile, int>> retries;  // the files that failed for memory, and their descriptors
        bool settled = pending.empty();  // every file has its answer or its failure
        // A batch whose worker ended before it began goes to another; a few
        // tries at most, so that workers that cannot start end the files.
        for (int unbegun = 0; !pending.empty() && unbegun < 4;) {
            BatchRequest request = MakeRequest(settings, pending);
            std::shared_ptr<Conveyor> conveyor;
            std::string problem;
            if (!Submit(workers, request, descriptors, conveyor, problem)) {
                for (const IsolatedFile& file : pending)
                    Fail(*file.record, CO_E_SERVER_EXEC_FAILURE, problem, false);
                settled = true;
                break;
            }
            size_t culprit = kNoCulprit;
            const Outcome outcome = Await(*conveyor, request.sequence, pending, culprit);
            settled = outcome != Outcome::cut;
            if (settled)
                break;
            // The culprit's failure stands; the others, whose answers the
            // worker took with it, go again.
            if (culprit == kNoCulprit) {
                ++unbegun;
            } else {
                if (ShortOfMemory(*pending[culprit].record))
                    KeepForRetry(pending, descriptors, culprit, retries);
                else
                    ::close(descriptors[culprit]);
                pending.erase(pending.begin() + static_cast<ptrdiff_t>(culprit));
                descriptors.erase(descriptors.begin() + static_cast<ptrdiff_t>(culprit));
                unbegun = 0;
            }
            for (const IsolatedFile& file : pending)
                StartAgain(*file.record);
        }
        if (!pending.empty() && !settled) {
            // Worker after worker ended before it began them.
            for (const IsolatedFile& file : pending)
                Fail(*file.record, RPC_E_SERVERFAULT, "the filter worker ended before it answered", false);
        }
        for (size_t i = 0; i < pending.size(); ++i)
            if (ShortOfMemory(*pending[i].record))
                KeepForRetry(pending, descriptors, i, retries);
        for (const int descriptor : descriptors)
            if (descriptor >= 0)
                ::close(descriptor);
        // A file that failed for memory is tried once more, alone, in a
        // worker of its own: what the worker held for other files is not
        // in its way there.
        for (auto& [file, descriptor] : retries) {
            FilterAlone(settings, file, descriptor);
            ::close(descriptor);
        }
    }

    bool EndWorkers() override
    {
        std::vector<std::shared_ptr<Conveyor>> ending;
        {
            SlimLockHolder hold(lock);
            ending.swap(conveyors);
        }
        // Every worker is told first, so that they unload at once.
        for (const std::shared_ptr<Conveyor>& conveyor : ending)
            ::shutdown(conveyor->worker->socket, SHUT_WR);  // the worker's sign to end
        bool unloaded = true;
        for (const std::shared_ptr<Conveyor>& conveyor : ending) {
            Worker& worker = *conveyor->worker;
            // Its report on its modules, when it comes within a second.
            pollfd ready{worker.socket, POLLIN, 0};
            std::string report;
            if (::poll(&ready, 1, 1000) > 0 && ReceiveMessage(worker.socket, report))
                std::fputs(report.c_str(), stderr);
            const int status = worker.Reap();
            unloaded = unloaded && !(WIFEXITED(status) && WEXITSTATUS(status) == isolation::kModulesHeld);
        }
        return unloaded;
    }

    std::string Protections() const override
    {
        std::string words = "filters run in worker processes (" + std::to_string(limits.timeoutSeconds) +
                            " s a file";
        if (limits.memoryMiB)
            words += ", " + std::to_string(limits.memoryMiB) + " MiB each";
        return words + "): " + isolation::ProbeSandbox().Describe();
    }

private:
    // The file, opened without waiting (a pipe) for the worker, which tells
    // a folder or a device from a file as it makes its stream; -1, with
    // the record failed for its path, when it cannot be opened.
    static int OpenFile(FileRecord& record)
    {
        const std::string path = ToCodePage(CP_ACP, record.path);
        int file;
        do
            file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        while (file < 0 && errno == EINTR);
        if (file < 0)
            FailForPath(record);
        return file;
    }

    static BatchRequest MakeRequest(const FilterJobSettings& settings, const std::vector<IsolatedFile>& files)
    {
        BatchRequest request;
        request.binding = settings.binding;
        request.bufferUnits = settings.bufferUnits;
        request.readProperties = settings.readProperties;
        for (const IsolatedFile& file : files)
            request.files.push_back(FileRequest{file.location.clsid, file.location.modulePath, file.record->path});
        return request;
    }

    static bool ShortOfMemory(const FileRecord& record)
    {
        return record.status == E_OUTOFMEMORY || record.memoryShort;
    }

    // Sets aside the file at `place` to be tried again alone, with its
    // descriptor, which the batch no longer closes.
    static void KeepForRetry(std::vector<IsolatedFile>& files, std::vector<int>& descriptors, size_t place,
                             std::vector<std::pair<IsolatedFile, int>>& retries)
    {
        retries.emplace_back(files[place], descriptors[place]);
        descriptors[place] = -1;
    }

    // One file in a fresh worker outside the pool, ended after it. When no
    // worker can be had, the first failure stands.
    void FilterAlone(const FilterJobSettings& settings, const IsolatedFile& file, int descriptor)
    {
        std::string problem;
        std::unique_ptr<Worker> worker = Worker::Start(program, limits, problem);
        if (!worker)
            return;
        std::vector<IsolatedFile> alone{file};
        BatchRequest request = MakeRequest(settings, alone);
        {
            SlimLockHolder hold(lock);
            request.sequence = nextBatch++;
        }
        FileRecord first = std::move(*file.record);
        *file.record = FileRecord{};
        file.record->path = first.path;
        size_t culprit = kNoCulprit;
        if (!SendMessage(worker->socket, EncodeRequest(request), &descriptor, 1) ||
            (ReadAnswer(*worker, request.sequence, Clock::now(), alone, culprit) == Outcome::cut &&
             culprit == kNoCulprit))
            *file.record = std::move(first);  // it could not be tried again
    }

    // A new worker in the pool. Under `lock`.
    bool StartConveyor(std::string& problem)
    {
        std::unique_ptr<Worker> worker = Worker::Start(program, limits, problem);
        if (!worker)
            return false;
        auto conveyor = std::make_shared<Conveyor>();
        conveyor->worker = std::move(worker);
        conveyors.push_back(std::move(conveyor));
        return true;
    }

    // Sends the batch to the worker with the fewest batches in flight, or
    // to a new one while there are fewer than `workers`, and numbers it.
    // False, with `problem` set, when no worker can be had.
    bool Submit(unsigned workers, BatchRequest& request, const std::vector<int>& descriptors,
                std::shared_ptr<Conveyor>& conveyor, std::string& problem)
    {
        SlimLockHolder hold(lock);
        request.sequence = nextBatch++;
        const std::string bytes = EncodeRequest(request);
        for (;;) {
            conveyor = nullptr;
            for (const std::shared_ptr<Conveyor>& candidate : conveyors)
                if (!conveyor || candidate->waiting.size() < conveyor->waiting.size())
                    conveyor = candidate;
            if (!conveyor || (conveyors.size() < workers && !conveyor->waiting.empty())) {
                if (!StartConveyor(problem))
                    return false;
                conveyor = conveyors.back();
            }
            if (SendMessage(conveyor->worker->socket, bytes, descriptors.data(), descriptors.size()))
                break;
            Retire(*conveyor);  // gone before it was asked: another takes the batch
        }
        if (conveyor->waiting.empty())
            conveyor->frontSince = Clock::now();
        conveyor->waiting.push_back(request.sequence);
        return true;
    }

    // Takes a dead conveyor out of the pool and wakes the threads that wait
    // on it, so that their batches go to another worker. Under `lock`.
    void Retire(Conveyor& conveyor)
    {
        conveyor.dead = true;
        std::erase_if(conveyors, [&](const std::shared_ptr<Conveyor>& held) { return held.get() == &conveyor; });
        changed.WakeAll();
    }

    // Waits for the answer to batch `sequence`: until it is first in line,
    // then for the worker's answer, each file within the time limit.
    Outcome Await(Conveyor& conveyor, uint32_t sequence, std::vector<IsolatedFile>& files, size_t& culprit)
    {
        SlimLockHolder hold(lock);
        while (!conveyor.dead && conveyor.waiting.front() != sequence) {
            if (stopRequested && stopRequested()) {
                std::erase(conveyor.waiting, sequence);  // the worker would still answer: it is ended
                AbandonAll(files);
                Retire(conveyor);
                return Outcome::failed;
            }
            changed.WaitFor(hold, kPollMilliseconds);
        }
        if (conveyor.dead)
            return Outcome::cut;  // the worker ended before it began this batch
        const Clock::time_point front = conveyor.frontSince;
        Outcome outcome = Outcome::answered;
        hold.Unlocked([&] { outcome = ReadAnswer(*conveyor.worker, sequence, front, files, culprit); });
        conveyor.waiting.pop_front();
        conveyor.frontSince = Clock::now();
        bool keep = outcome == Outcome::answered;
        // A worker that ran short of memory takes no more files.
        for (const IsolatedFile& file : files)
            keep = keep && !ShortOfMemory(*file.record);
        if (keep)
            changed.WakeAll();
        else
            Retire(conveyor);
        return outcome;
    }

    // Reads the worker's answer, as the first in line. The worker is ended
    // (by its conveyor's end) when a file took too long or the run stops.
    Outcome ReadAnswer(Worker& worker, uint32_t sequence, Clock::time_point front, std::vector<IsolatedFile>& files,
                       size_t& culprit)
    {
        const int64_t timeout = int64_t(limits.timeoutSeconds) * 1000000000;
        const int64_t frontSince = std::chrono::duration_cast<std::chrono::nanoseconds>(front.time_since_epoch()).count();
        std::vector<FileRecord*> records;
        for (const IsolatedFile& file : files)
            records.push_back(file.record);
        // The answer comes in parts of whole records, in the files' order.
        for (size_t answered = 0; answered < records.size();) {
            if (stopRequested && stopRequested()) {
                AbandonAll(files);
                return Outcome::failed;
            }
            // The file the worker is on, and when it began it (the batch's
            // turn, while the worker has not taken it up).
            uint32_t batch = 0, file = 0;
            int64_t since = 0;
            worker.Position(batch, file, since);
            const bool begun = batch == sequence && file < files.size();
            const int64_t left = (begun ? since : frontSince) + timeout - MonotonicNanoseconds();
            if (left <= 0) {
                culprit = begun ? file : answered;
                Fail(*files[culprit].record, RPC_E_TIMEOUT,
                     "the filter took longer than " + std::to_string(limits.timeoutSeconds) + " s", true);
                return Outcome::cut;
            }
            pollfd ready{worker.socket, POLLIN, 0};
            const int polled = ::poll(&ready, 1, static_cast<int>(std::min<int64_t>(left / 1000000 + 1, kPollMilliseconds)));
            if (polled < 0 && errno != EINTR)
                return Ended(worker, sequence, files, culprit);
            if (polled <= 0)
                continue;
            try {
                if (!ReceiveMessage(worker.socket, worker.answer))
                    return Ended(worker, sequence, files, culprit);
                if (worker.answer.empty() && answered > 0) {
                    // The rest comes back unfiltered, to be sent again.
                    for (size_t i = answered; i < records.size(); ++i)
                        records[i]->sentBack = true;
                    return Outcome::answered;
                }
                const size_t decoded =
                    DecodeRecords(worker.answer, records.data() + answered, records.size() - answered);
                if (decoded == 0)
                    return Ended(worker, sequence, files, culprit);
                answered += decoded;
            } catch (const std::bad_alloc&) {
                // The answer does not fit in the host: the worker, its answer
                // half read, is ended, and the files are tried alone.
                for (const IsolatedFile& failed : files) {
                    Fail(*failed.record, E_OUTOFMEMORY, "the host ran out of memory", false);
                    failed.record->memoryShort = true;
                }
                return Outcome::failed;
            }
        }
        return Outcome::answered;
    }

    // The worker ended, or must: the file it was on, and why, from the way
    // it ended. No file is to blame when it had not begun the batch.
    Outcome Ended(Worker& worker, uint32_t sequence, std::vector<IsolatedFile>& files, size_t& culprit)
    {
        uint32_t batch = 0, file = 0;
        int64_t since = 0;
        worker.Position(batch, file, since);
        uint64_t peak = 0;
        const int status = worker.Reap(&peak);
        culprit = batch == sequence && file < files.size() ? file : kNoCulprit;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
            culprit = kNoCulprit;
            // No worker can start: every file of the batch fails for it.
            const std::string why = ::access(program.c_str(), X_OK) != 0 ? std::string(": ") + std::strerror(errno) : "";
            for (const IsolatedFile& failed : files)
                Fail(*failed.record, CO_E_SERVER_EXEC_FAILURE,
                     "the filter worker (" + program + ") could not be started" + why, false);
            return Outcome::failed;
        }
        if (culprit == kNoCulprit)
            return Outcome::cut;
        FileRecord& record = *files[culprit].record;
        const uint64_t limit = uint64_t(limits.memoryMiB) << 20;
        // Ended by its watchdog, or killed (by the system, short of memory)
        // near its limit.
        if ((WIFEXITED(status) && WEXITSTATUS(status) == isolation::kOverMemoryLimit) ||
            (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL && limit && peak >= limit / 4 * 3)) {
            Fail(record, HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA),
                 "the filter ran out of its memory limit of " + std::to_string(limits.memoryMiB) + " MiB", true);
            record.memoryShort = true;
        } else if (WIFSIGNALED(status)) {
            Fail(record, RPC_E_SERVERFAULT, "the filter crashed (" + SignalName(WTERMSIG(status)) + ")", true);
        } else {
            Fail(record, RPC_E_SERVERFAULT,
                 "the filter ended its worker (exit code " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                     ")",
                 true);
        }
        return Outcome::cut;
    }

    static void AbandonAll(std::vector<IsolatedFile>& files)
    {
        for (const IsolatedFile& file : files) {
            Fail(*file.record, E_ABORT, "the run was stopped while the filter read the file", false);
            file.record->abandoned = true;
        }
    }

    // The record of a file the filter did not finish: whatever of the
    // worker's answer came is dropped.
    static void Fail(FileRecord& record, HRESULT status, std::string cause, bool filterDown)
    {
        StartAgain(record);
        record.status = status;
        record.cause = std::move(cause);
        record.outside = true;  // the filter's doing, not the file's
        record.filterDown = filterDown;
    }

    const IsolationLimits limits;
    bool (*const stopRequested)();
    const std::string program;
    SlimLock lock;
    Condition changed;  // a batch's answer was read, or a worker retired
    std::vector<std::shared_ptr<Conveyor>> conveyors;  // the live workers, under `lock`
    uint32_t nextBatch = 0;                            // under `lock`
};

}  // namespace

std::unique_ptr<FilterIsolation> MakeFilterIsolation(const IsolationLimits& limits, bool (*stopRequested)())
{
    return std::make_unique<IsolatedFiltering>(limits, stopRequested);
}

}  // namespace host
