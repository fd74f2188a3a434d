// Runs a command and prints its peak resident memory in KiB, for
// bench/dump_bench.py. A process started straight from the benchmark's
// Python would be charged with Python's own memory, which it held before it
// ran the command; started from this small program, it is not.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: peak_memory COMMAND [ARGUMENT]...\n");
        return 2;
    }
    const pid_t child = fork();
    if (child < 0)
        return 2;
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return 2;
    std::printf("%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
