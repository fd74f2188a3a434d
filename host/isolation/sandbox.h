// The sandbox a filter worker enters right after it starts, and the report
// of which of its protections hold on this machine. The worker calls
// EnterSandbox; the parent calls ProbeSandbox for `dump -v` and
// `index --status`. Linux only: the protections are the kernel's
// (no_new_privs, Landlock, seccomp, rlimits), and a kernel that lacks one
// never fails the worker, the report just says it did not hold.
#pragma once

#include <string>

namespace host::isolation {

// What a worker asks of the kernel.
struct SandboxSettings {
    // False: the worker gets every file as an open descriptor and opens none
    // by name, so it must load its modules before it enters the sandbox.
    bool mayOpenFilesForReading = true;
};

// Which protections hold in this process after EnterSandbox. Plain values
// only, so a forked child can hand it to its parent as bytes.
struct SandboxReport {
    bool noNewPrivileges = false;
    bool landlock = false;            // writes and file creation refused by Landlock
    int landlockAbi = 0;              // the kernel's Landlock ABI version, 0 without one
    bool seccomp = false;             // sockets other than AF_UNIX refused, and writes where Landlock is missing
    bool noCoreOrFileGrowth = false;  // RLIMIT_CORE 0, RLIMIT_FSIZE 0
    bool noOpeningByName = false;     // mayOpenFilesForReading false, and Landlock or seccomp refuses every open by name
    // Why a protection did not hold: the errno of the refused call, 0 when it held.
    int noNewPrivilegesError = 0;
    int landlockError = 0;
    int seccompError = 0;             // ENOEXEC: no filter written for this architecture
    int rlimitError = 0;

    bool RefusesWrites() const { return landlock || seccomp; }
    // One line naming what holds and what does not and why, e.g. "no new
    // privileges, Landlock (ABI 3): no writes, seccomp: no network, no core
    // files or file growth".
    std::string Describe() const;
};

// Applies every protection the kernel offers to the calling process, which
// must be single-threaded (Landlock and seccomp bind the calling thread
// only). Never fails for a protection the kernel lacks: the report says what
// held. Also ignores SIGXFSZ, so a write past the size limit fails with EFBIG
// instead of ending the worker.
SandboxReport EnterSandbox(const SandboxSettings& settings);

// What EnterSandbox would report here, without touching the caller: a
// short-lived forked child enters the sandbox and hands back its report.
// Where the child cannot be started, the kernel is asked what it offers.
SandboxReport ProbeSandbox(const SandboxSettings& settings = {});

}  // namespace host::isolation
