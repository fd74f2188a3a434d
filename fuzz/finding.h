// How a fuzzer reports what it found beyond a crash or a sanitizer report:
// a line naming the broken rule, then an abort, which libFuzzer records
// with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzing {

[[noreturn]] inline void Finding(const char* fuzzer, const char* what)
{
    std::fprintf(stderr, "%s: %s\n", fuzzer, what);
    std::abort();
}

}  // namespace fuzzing
