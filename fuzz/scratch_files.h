// Files for fuzzers whose code under test opens a path: written into one
// scratch folder (in /dev/shm when there is one, so that nothing touches a
// disk), which is removed when the process exits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace fuzzing {

class ScratchFiles {
public:
    // Writes the bytes to the file `name` in the scratch folder, replacing
    // what it held, and answers its path.
    static std::string Write(const std::string& name, const uint8_t* data, size_t size)
    {
        const std::string path = Folder() + "/" + name;
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        bool written = file >= 0;
        for (size_t done = 0; written && done < size;) {
            const ssize_t count = ::write(file, data + done, size - done);
            written = count > 0;
            done += written ? static_cast<size_t>(count) : 0;
        }
        if (file >= 0)
            ::close(file);
        if (!written) {
            std::perror(path.c_str());
            std::abort();  // not a finding: the fuzzer cannot run
        }
        return path;
    }

private:
    static const std::string& Folder()
    {
        static const std::string folder = [] {
            std::string pattern = (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
            pattern += "/trellan-fuzz-XXXXXX";
            if (!::mkdtemp(pattern.data())) {
                std::perror("mkdtemp");
                std::abort();
            }
            return pattern;
        }();
        static const bool removedAtExit = std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }) == 0;
        (void)removedAtExit;
        return folder;
    }
};

}  // namespace fuzzing
