// How a fuzzer reports what it found beyond a crash or a sanitizer report:
// a line naming the broken rule, then an abort, which libFuzzer records
// with the input that caused it. Each fuzzer defines fuzzerName once.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzing {

extern const char* const fuzzerName;

[[noreturn]] inline void Finding(const char* what)
{
    std::fprintf(stderr, "%s: %s\n", fuzzerName, what);
    std::abort();
}

inline void Expect(bool holds, const char* what)
{
    if (!holds)
        Finding(what);
}

}  // namespace fuzzing
