// The registry as a command meets it: whether it can be used at all, and
// one write transaction around each command that changes it, so that a
// process killed half-way leaves the registry as it was and commands of
// several processes take turns.
#pragma once

#include <string>

namespace host {

// False, after saying on standard error why, when the registry cannot be
// used (or, with `forWriting`, cannot be written). `command` begins the
// message ("trellan reg export").
bool RegistryReady(const char* command, bool forWriting);

// Checks that the registry can be written and begins the transaction; a
// transaction that is not committed is rolled back when this goes.
class RegistryWrite {
public:
    explicit RegistryWrite(const char* command);
    ~RegistryWrite();
    RegistryWrite(const RegistryWrite&) = delete;
    RegistryWrite& operator=(const RegistryWrite&) = delete;

    bool Began() const { return began; }
    // False, after saying why, when the changes could not be committed.
    bool Commit();

private:
    const char* command;
    bool began = false;
};

}  // namespace host
