// Runs the trellan command line in this process and captures what it prints.
#pragma once

#include "cli/command_line.h"

#include <gtest/gtest.h>

namespace trellan::test {

struct CommandRun {
    int code;
    std::string out, err;
};

inline CommandRun Trellan(host::Arguments args)
{
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    CommandRun run;
    run.code = host::RunCommandLine(args);
    run.out = ::testing::internal::GetCapturedStdout();
    run.err = ::testing::internal::GetCapturedStderr();
    return run;
}

}  // namespace trellan::test
