// The worker's sandbox: no_new_privs, a Landlock domain that refuses every
// write-type access the kernel's ABI knows (no rule, so nowhere is exempt),
// a seccomp filter that refuses sockets other than AF_UNIX and, where
// Landlock is missing or too old, the write-type system calls, and rlimits
// that leave no core file and no room to grow a file. Called by the worker
// (EnterSandbox) and by the parent for its report (ProbeSandbox).
// Facts that shaped it: Landlock and seccomp bind the calling thread only,
// so the caller is single-threaded; both need no_new_privs first; Landlock
// refuses a handled access it knows nothing of, so the rights asked for
// follow the ABI version; the kernel headers may predate Landlock and
// openat2, so their numbers are written here (they are the same on every
// architecture this builds for); openat2's flags sit behind a pointer a
// filter cannot read, so it is refused with ENOSYS and callers fall back to
// openat, whose flags the filter reads. EnterSandbox allocates nothing, so
// a child forked from a threaded parent may run it.
#include "isolation/sandbox.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <system_error>
#include <type_traits>

#ifndef __NR_landlock_create_ruleset
#define __NR_landlock_create_ruleset 444
#define __NR_landlock_add_rule 445
#define __NR_landlock_restrict_self 446
#endif
#if defined(__x86_64__) && !defined(__NR_openat2)
#define __NR_openat2 437
#endif

namespace host::isolation {
namespace {

static_assert(std::is_trivially_copyable_v<SandboxReport>, "a forked child hands the report over as bytes");

constexpr int architectureNotCovered = -1;  // SandboxReport::seccompError

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }
    int Get() const { return fd; }
    void Close()
    {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }

private:
    int fd;
};

// ---- Landlock ----

constexpr unsigned landlockAskVersion = 1U << 0;  // LANDLOCK_CREATE_RULESET_VERSION

struct LandlockRight {
    int abi;  // the first ABI version that knows it
    uint64_t right;
};

// Every access that writes, creates, removes or moves a file.
const LandlockRight landlockWriteRights[] = {
    {1, 1ULL << 1},   // WRITE_FILE
    {1, 1ULL << 4},   // REMOVE_DIR
    {1, 1ULL << 5},   // REMOVE_FILE
    {1, 1ULL << 6},   // MAKE_CHAR
    {1, 1ULL << 7},   // MAKE_DIR
    {1, 1ULL << 8},   // MAKE_REG
    {1, 1ULL << 9},   // MAKE_SOCK
    {1, 1ULL << 10},  // MAKE_FIFO
    {1, 1ULL << 11},  // MAKE_BLOCK
    {1, 1ULL << 12},  // MAKE_SYM
    {2, 1ULL << 13},  // REFER
    {3, 1ULL << 14},  // TRUNCATE
};
// Refused as well when the worker opens no file by name.
const LandlockRight landlockReadRights[] = {
    {1, 1ULL << 2},  // READ_FILE
    {1, 1ULL << 3},  // READ_DIR
};
constexpr int landlockAbiWithTruncate = 3;

// struct landlock_ruleset_attr as ABI 1 has it; the kernel takes the
// shorter form from a newer one's callers too.
struct LandlockRulesetAttributes {
    uint64_t handledAccessFs;
};

int LandlockAbi(int* error)
{
    const long version = syscall(__NR_landlock_create_ruleset, nullptr, 0, landlockAskVersion);
    *error = version < 0 ? errno : 0;
    return version < 0 ? 0 : static_cast<int>(version);
}

uint64_t RightsOf(const LandlockRight* rows, size_t count, int abi)
{
    uint64_t rights = 0;
    for (size_t i = 0; i < count; ++i)
        if (rows[i].abi <= abi)
            rights |= rows[i].right;
    return rights;
}

void EnterLandlock(const SandboxSettings& settings, SandboxReport* report)
{
    report->landlockAbi = LandlockAbi(&report->landlockError);
    if (report->landlockAbi < 1)
        return;
    LandlockRulesetAttributes attributes{RightsOf(landlockWriteRights, std::size(landlockWriteRights), report->landlockAbi)};
    if (!settings.mayOpenFilesForReading)
        attributes.handledAccessFs |= RightsOf(landlockReadRights, std::size(landlockReadRights), report->landlockAbi);
    const Descriptor ruleset(static_cast<int>(syscall(__NR_landlock_create_ruleset, &attributes, sizeof attributes, 0)));
    if (ruleset.Get() < 0 || syscall(__NR_landlock_restrict_self, ruleset.Get(), 0) != 0) {
        report->landlockError = errno;
        return;
    }
    report->landlock = true;
    report->noOpeningByName = !settings.mayOpenFilesForReading;
}

// ---- seccomp ----

#if defined(__x86_64__)
constexpr uint32_t filteredArchitecture = AUDIT_ARCH_X86_64;
constexpr uint32_t x32SystemCallBit = 0x40000000;  // x32 calls carry the x86_64 architecture

// The gaps in Landlock that a rule fills.
enum class Gap {
    None,           // always applies
    Writes,         // no Landlock
    Truncation,     // no Landlock, or one older than ABI 3
    OpeningByName,  // the worker opens no file by name, and Landlock does not refuse it
};

enum class Refusal {
    Always,
    UnlessArgumentIs,   // the argument's low 32 bits equal value
    IfArgumentHasBits,  // the argument's low 32 bits share a bit with value
};

struct SystemCallRule {
    int number;
    Gap gap;
    Refusal refusal;
    int argument;
    uint32_t value;
    int error;
};

constexpr uint32_t writeIntent = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC;

// The first rule that applies to a call decides, so the rules that refuse
// every open come before those that read its flags.
const SystemCallRule systemCallRules[] = {
    {__NR_socket, Gap::None, Refusal::UnlessArgumentIs, 0, AF_UNIX, EACCES},
    {__NR_socketpair, Gap::None, Refusal::UnlessArgumentIs, 0, AF_UNIX, EACCES},
    {__NR_open, Gap::OpeningByName, Refusal::Always, 0, 0, EACCES},
    {__NR_openat, Gap::OpeningByName, Refusal::Always, 0, 0, EACCES},
    {__NR_openat2, Gap::OpeningByName, Refusal::Always, 0, 0, EACCES},
    {__NR_creat, Gap::OpeningByName, Refusal::Always, 0, 0, EACCES},
    {__NR_open, Gap::Truncation, Refusal::IfArgumentHasBits, 1, writeIntent, EACCES},
    {__NR_openat, Gap::Truncation, Refusal::IfArgumentHasBits, 2, writeIntent, EACCES},
    {__NR_openat2, Gap::Truncation, Refusal::Always, 0, 0, ENOSYS},
    {__NR_truncate, Gap::Truncation, Refusal::Always, 0, 0, EACCES},
    {__NR_creat, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_mkdir, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_mkdirat, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_unlink, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_unlinkat, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_rename, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_renameat, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_renameat2, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_link, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_linkat, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_symlink, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_symlinkat, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_mknod, Gap::Writes, Refusal::Always, 0, 0, EACCES},
    {__NR_mknodat, Gap::Writes, Refusal::Always, 0, 0, EACCES},
};

constexpr uint32_t Allow() { return SECCOMP_RET_ALLOW; }
constexpr uint32_t Fail(int error) { return SECCOMP_RET_ERRNO | (static_cast<uint32_t>(error) & SECCOMP_RET_DATA); }
constexpr uint32_t ArgumentLow(int index)  // little-endian: the low half comes first
{
    return static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * index);
}

// A filter program in a fixed array: one pass over the rules, no jumps back.
struct FilterProgram {
    sock_filter code[6 + 5 * std::size(systemCallRules) + 1];
    unsigned short length = 0;

    void Add(sock_filter instruction) { code[length++] = instruction; }
};

bool Applies(Gap gap, const SandboxSettings& settings, const SandboxReport& report)
{
    switch (gap) {
    case Gap::None: return true;
    case Gap::Writes: return !report.landlock;
    case Gap::Truncation: return !report.landlock || report.landlockAbi < landlockAbiWithTruncate;
    case Gap::OpeningByName: return !settings.mayOpenFilesForReading && !report.landlock;
    }
    return false;
}

void WriteFilter(const SandboxSettings& settings, const SandboxReport& report, FilterProgram* program)
{
    program->Add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
    program->Add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, filteredArchitecture, 1, 0));
    program->Add(BPF_STMT(BPF_RET | BPF_K, Fail(EACCES)));
    program->Add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
    program->Add(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, x32SystemCallBit, 0, 1));
    program->Add(BPF_STMT(BPF_RET | BPF_K, Fail(EACCES)));
    for (const SystemCallRule& rule : systemCallRules) {
        if (!Applies(rule.gap, settings, report))
            continue;
        // The number is still in the accumulator: every check below ends in a return.
        const unsigned char checkLength = rule.refusal == Refusal::Always ? 1 : 4;
        program->Add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(rule.number), 0, checkLength));
        if (rule.refusal == Refusal::Always) {
            program->Add(BPF_STMT(BPF_RET | BPF_K, Fail(rule.error)));
            continue;
        }
        program->Add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, ArgumentLow(rule.argument)));
        if (rule.refusal == Refusal::UnlessArgumentIs)
            program->Add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, rule.value, 0, 1));
        else
            program->Add(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, rule.value, 1, 0));
        program->Add(BPF_STMT(BPF_RET | BPF_K, Allow()));
        program->Add(BPF_STMT(BPF_RET | BPF_K, Fail(rule.error)));
    }
    program->Add(BPF_STMT(BPF_RET | BPF_K, Allow()));
}

void EnterSeccomp(const SandboxSettings& settings, SandboxReport* report)
{
    FilterProgram program;
    WriteFilter(settings, *report, &program);
    const sock_fprog filter{program.length, program.code};
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter, 0, 0) != 0) {
        report->seccompError = errno;
        return;
    }
    report->seccomp = true;
    if (!settings.mayOpenFilesForReading)
        report->noOpeningByName = true;
}

bool SeccompOffered(int* error)
{
    *error = prctl(PR_GET_SECCOMP, 0, 0, 0, 0) < 0 ? errno : 0;
    return *error == 0;
}
#else
void EnterSeccomp(const SandboxSettings&, SandboxReport* report)
{
    report->seccompError = architectureNotCovered;
}

bool SeccompOffered(int* error)
{
    *error = architectureNotCovered;
    return false;
}
#endif

// ---- rlimits ----

void LimitCoreAndFileSize(SandboxReport* report)
{
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_CORE, &none) != 0 || setrlimit(RLIMIT_FSIZE, &none) != 0) {
        report->rlimitError = errno;
        return;
    }
    report->noCoreOrFileGrowth = true;
    signal(SIGXFSZ, SIG_IGN);
}

// ---- the report ----

// What the kernel offers, asked without applying anything: where no child
// can be forked to try it.
SandboxReport AskTheKernel(const SandboxSettings& settings)
{
    SandboxReport report;
    report.noNewPrivileges = prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) >= 0;
    report.noNewPrivilegesError = report.noNewPrivileges ? 0 : errno;
    report.landlockAbi = LandlockAbi(&report.landlockError);
    report.landlock = report.noNewPrivileges && report.landlockAbi >= 1;
    report.seccomp = report.noNewPrivileges && SeccompOffered(&report.seccompError);
    report.noCoreOrFileGrowth = true;
    report.noOpeningByName = !settings.mayOpenFilesForReading && (report.landlock || report.seccomp);
    return report;
}

std::string WhyNot(int error)
{
    switch (error) {
    case ENOSYS: return "not offered by this kernel";
    case EOPNOTSUPP: return "turned off in this kernel";
    case architectureNotCovered: return "no filter for this architecture";
    case 0: return "needs no new privileges";
    default: return std::generic_category().message(error);
    }
}

}  // namespace

std::string SandboxReport::Describe() const
{
    std::string line = noNewPrivileges ? "no new privileges" : "new privileges: " + WhyNot(noNewPrivilegesError);
    if (landlock) {
        line += ", Landlock (ABI " + std::to_string(landlockAbi) + "): no writes";
        if (noOpeningByName)
            line += ", no opening by name";
    } else {
        line += ", Landlock: " + WhyNot(landlockError);
    }
    if (seccomp) {
        line += ", seccomp: no network";
        if (!landlock)
            line += noOpeningByName ? ", no writes, no opening by name" : ", no writes";
        else if (landlockAbi < landlockAbiWithTruncate)
            line += ", no truncation";
    } else {
        line += ", seccomp: " + WhyNot(seccompError);
    }
    line += noCoreOrFileGrowth ? ", no core files or file growth" : ", core files and file growth: " + WhyNot(rlimitError);
    return line;
}

SandboxReport EnterSandbox(const SandboxSettings& settings)
{
    SandboxReport report;
    LimitCoreAndFileSize(&report);
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        report.noNewPrivilegesError = errno;
    } else {
        report.noNewPrivileges = true;
    }
    EnterLandlock(settings, &report);
    EnterSeccomp(settings, &report);
    return report;
}

SandboxReport ProbeSandbox(const SandboxSettings& settings)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return AskTheKernel(settings);
    Descriptor reading(ends[0]);
    Descriptor writing(ends[1]);
    const pid_t child = fork();
    if (child < 0)
        return AskTheKernel(settings);
    if (child == 0) {
        const SandboxReport report = EnterSandbox(settings);
        _exit(write(writing.Get(), &report, sizeof report) == sizeof report ? 0 : 1);
    }
    writing.Close();
    SandboxReport report;
    size_t received = 0;
    while (received < sizeof report) {
        const ssize_t count = read(reading.Get(), reinterpret_cast<char*>(&report) + received, sizeof report - received);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        received += static_cast<size_t>(count);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return received == sizeof report ? report : AskTheKernel(settings);
}

}  // namespace host::isolation
