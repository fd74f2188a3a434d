// Scripted answers of the kernel32 calls behind the module's own path, for
// the registration code linked into this test program: GetModuleFileNameW
// and GetShortPathNameW (defined in the program, so its own code binds to
// them), and GetModuleHandleExW (exported, so a loaded module binds to it).
// Each forwards to the platform until a test scripts it.
#pragma once

#include "winapi.h"

#include <string>

namespace trellan::test {

struct ModulePathScript {
    bool active = false;
    std::u16string longPath;   // what GetModuleFileNameW answers for any module
    DWORD longError = 0;       // answered with 0 when set
    DWORD shortResult = 0;     // what GetShortPathNameW answers
    std::u16string shortPath;  // written when shortResult fits the buffer
    int shortCalls = 0;
    bool failHandleFromAddress = false;  // GetModuleHandleExW by address fails
};

// The script in force; reset it with `ModulePath() = {}`.
ModulePathScript& ModulePath();

}  // namespace trellan::test
