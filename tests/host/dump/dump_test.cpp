// trellan dump end to end, through the module registered in the test's own
// registry: the order of the output on any number of jobs, the inputs
// (folders, lists, names that are not UTF-8), the causes of failures, and
// what people see on standard error.
#include "filtering/filter_jobs.h"
#include "support/command_run.h"
#include "support/media_writer.h"
#include "support/text.h"

#include <gtest/gtest.h>
#include <win32/registry_control.h>
#include <win32/seams.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace trellan::test {
namespace {

Bytes Mp3(const std::u16string& title, const std::u16string& comment = u"")
{
    std::vector<Id3Frame> frames{Id3Text("TIT2", title, Id3Encoding::utf16)};
    if (!comment.empty())
        frames.push_back(Id3Comment(u"", comment, Id3Encoding::utf8));
    return Concatenate({BuildId3v2(3, frames), SilentMpegFrames(3)});
}

Bytes Wma(const std::u16string& title)
{
    AsfContent content;
    content.title = title;
    content.author = u"Someone";
    return BuildAsf(content);
}

// The files that each line of JSON output names, in order.
std::vector<std::string> FilesOf(const std::string& json)
{
    std::vector<std::string> files;
    for (size_t at = json.find("{\"file\": \""); at != std::string::npos; at = json.find("{\"file\": \"", at + 1)) {
        const size_t start = at + 10;
        files.push_back(json.substr(start, json.find('"', start) - start));
    }
    return files;
}

class DumpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const CommandRun registered = Trellan({u"register", Utf16(TRELLAN_MODULE_PATH)});
        ASSERT_EQ(registered.code, 0) << registered.err;
    }
    std::u16string Path(const std::string& name) const { return Utf16(dir.PathOf(name)); }

    TempDir dir;
};

TEST_F(DumpTest, CausesOfFailuresAreTheHostsOwnLookAtThePath)
{
    dir.Write("good.mp3", Mp3(u"Good"));
    dir.Write("empty.mp3", {});
    dir.Write("text.wma", Bytes{'n', 'o', 't', ' ', 'm', 'e', 'd', 'i', 'a'});
    std::filesystem::create_directory(dir.PathOf("folder.mp3"));
    mkfifo(dir.PathOf("pipe.asf").c_str(), 0600);
    // A title frame of 17 MiB, over the editor's limit of 16 MiB a value.
    const DWORD huge = 17u << 20;
    dir.Write("huge.mp3", {'I', 'D', '3', 3, 0, 0, BYTE((huge + 10) >> 21 & 0x7F), BYTE((huge + 10) >> 14 & 0x7F),
                           BYTE((huge + 10) >> 7 & 0x7F), BYTE((huge + 10) & 0x7F), 'T', 'I', 'T', '2',
                           BYTE(huge >> 24), BYTE(huge >> 16), BYTE(huge >> 8), BYTE(huge), 0, 0});
    ASSERT_EQ(truncate(dir.PathOf("huge.mp3").c_str(), huge + 20), 0);
    std::filesystem::create_symlink(dir.PathOf("nowhere.mp3"), dir.PathOf("dangling.mp3"));
    std::filesystem::create_symlink(dir.PathOf("loop.wma"), dir.PathOf("loop.wma"));
    const std::string tooLong = std::string(300, 'n') + ".mp3";
    dir.Write("notes.txt", Bytes{'n'});
    struct Case {
        const char* name;
        const char* status;
        const char* cause;  // null: none
    };
    const Case cases[] = {
        {"good.mp3", "S_OK (0x00000000)", nullptr},
        {"missing.mp3", "FILTER_E_ACCESS (0x80041703)", "no such file or folder"},
        {"empty.mp3", "FILTER_E_ACCESS (0x80041703)", "an empty file"},
        {"text.wma", "FILTER_E_ACCESS (0x80041703)", "not a media file that the filter can read, or damaged"},
        {"huge.mp3", "FILTER_E_ACCESS (0x80041703)", "over the size limit of the media-format runtime's metadata editor"},
        {"folder.mp3/", "FILTER_E_ACCESS (0x80041703)", "a folder, not a file"},
        {"pipe.asf", "FILTER_E_ACCESS (0x80041703)", "not a regular file (a pipe, socket or device)"},
        {"notes.txt", "REGDB_E_CLASSNOTREG (0x80040154)", "no filter is registered for the extension .txt"},
        {"missing", "REGDB_E_CLASSNOTREG (0x80040154)", "no such file or folder"},
        {"dangling.mp3", "FILTER_E_ACCESS (0x80041703)", "a link to a file or folder that does not exist"},
        {"loop.wma", "FILTER_E_ACCESS (0x80041703)", "a loop of links (too many levels of links)"},
        {tooLong.c_str(), "FILTER_E_ACCESS (0x80041703)", "the name is longer than the file system allows"},
    };
    for (const Case& row : cases) {
      for (const char16_t* bind : {u"stream", u"path"}) {
        // A folder given by name is walked; its file is named as a file here.
        const std::string name = row.name;
        const std::u16string path = name.back() == '/' ? Path(name.substr(0, name.size() - 1)) : Path(name);
        const CommandRun run = Trellan({u"dump", u"--json", u"-q", u"--bind", bind, path});
        SCOPED_TRACE(row.name + (" by " + Utf8(bind)));
        if (name.back() == '/') {
            EXPECT_EQ(run.out, "");  // an empty folder: nothing to say
            continue;
        }
        EXPECT_EQ(run.code, row.cause ? 1 : 0);
        EXPECT_NE(run.out.find(std::string("\"status\": \"") + row.status + "\""), std::string::npos) << run.out;
        if (row.cause)
            EXPECT_NE(run.out.find(std::string("\"error\": \"") + row.cause + "\""), std::string::npos) << run.out;
        else
            EXPECT_EQ(run.out.find("\"error\""), std::string::npos) << run.out;
        EXPECT_EQ(run.err, "");  // -q
      }
    }
}

// A filter that crashes, hangs, eats memory or writes costs the file it
// does it on, with a cause that says what happened; every other file is
// read, in order, and nothing is written.
TEST_F(DumpTest, AHostileFilterCostsTheFilesItMisbehavesOnAlone)
{
    struct Case {
        const char* name;
        const char* status;  // null: read, with its name (or what the filter says of writing) as its title
        const char* cause;
    };
    // The two large files, half a megabyte of text each, fill their worker's
    // answer: the files after them in the batch come back unfiltered and go
    // again in their turn, the crash among them, and still print in order.
    // The time limit leaves the memory hog room to reach its limit on a
    // loaded machine.
    const Case cases[] = {
        {"first.mp3", nullptr, "first.mp3"},
        {"large1.mp3", nullptr, "large1.mp3 large1.mp3"},
        {"large2.mp3", nullptr, "large2.mp3 large2.mp3"},
        {"crash.mp3", "RPC_E_SERVERFAULT (0x80010105)", "the filter crashed (SIGSEGV)"},
        {"second.mp3", nullptr, "second.mp3"},
        {"hang.mp3", "RPC_E_TIMEOUT (0x8001011F)", "the filter took longer than 2 s"},
        {"write.mp3", nullptr, "refused"},
        {"hog.mp3", "HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA) (0x80070718)",
         "the filter ran out of its memory limit of 128 MiB"},
        {"last.mp3", nullptr, "last.mp3"},
    };
    host::Arguments args{u"dump", u"--json", u"-q", u"--module", Utf16(TRELLAN_HOSTILE_MODULE_PATH),
                         u"--filter-timeout", u"2", u"--filter-memory", u"128"};
    std::vector<std::string> expected;
    for (const Case& row : cases) {
        dir.Write(row.name, Mp3(u"unread"));
        args.push_back(Path(row.name));
        expected.push_back(dir.PathOf(row.name));
    }
    for (const char16_t* jobs : {u"1", u"2"}) {
        SCOPED_TRACE("jobs " + Utf8(jobs));
        host::Arguments run = args;
        run.insert(run.begin() + 1, {u"--jobs", jobs});
        const CommandRun dumped = Trellan(run);
        EXPECT_EQ(dumped.code, 1);
        ASSERT_EQ(FilesOf(dumped.out), expected) << dumped.out;
        for (const Case& row : cases) {
            const size_t at = dumped.out.find(dir.PathOf(row.name));
            const std::string line = dumped.out.substr(at, dumped.out.find('\n', at) - at);
            if (row.status) {
                EXPECT_NE(line.find(std::string("\"status\": \"") + row.status + "\""), std::string::npos) << line;
                EXPECT_NE(line.find(std::string("\"error\": \"") + row.cause + "\""), std::string::npos) << line;
            } else if (std::strncmp(row.name, "large", 5) == 0) {
                EXPECT_NE(line.find(std::string("\"") + row.cause), std::string::npos) << row.name;
                EXPECT_GT(line.size(), 250000u) << row.name;
            } else {
                EXPECT_NE(line.find(std::string("\"") + row.cause + "\""), std::string::npos) << line;
            }
        }
        EXPECT_FALSE(std::filesystem::exists(dir.PathOf("write.mp3.written")));
    }
}

// Bound by a stream over the file, as Windows Search binds, or by its path,
// the filter gives the same chunks and the same failures, to the byte, for
// every file of the media sets.
TEST_F(DumpTest, BothBindingsReadEveryMediaSetAlike)
{
    host::Arguments files{u"dump", u"--json", u"-q", u"--module", Utf16(TRELLAN_MODULE_PATH)};
    std::string sets = TRELLAN_MEDIA_SETS;
    for (size_t start = 0, end; start < sets.size(); start = end + 1) {
        end = std::min(sets.find(':', start), sets.size());
        for (const auto& entry : std::filesystem::directory_iterator(sets.substr(start, end - start)))
            files.push_back(Utf16(entry.path().string()));
    }
    ASSERT_GT(files.size(), 40u);
    std::string outputs[2];
    for (int byStream = 0; byStream < 2; ++byStream) {
        host::Arguments args = files;
        args.insert(args.begin() + 1, {u"--bind", byStream ? u"stream" : u"path"});
        outputs[byStream] = Trellan(args).out;
    }
    EXPECT_EQ(outputs[1], outputs[0]);
    EXPECT_NE(outputs[0].find("\"S_OK (0x00000000)\""), std::string::npos);
}

TEST_F(DumpTest, FoldersListsAndNamesThatAreNotUtf8)
{
    std::filesystem::create_directories(dir.PathOf("library/a"));
    dir.Write("library/b.mp3", Mp3(u"B"));
    dir.Write("library/a/c.wma", Wma(u"C"));
    dir.Write("library/a/readme.txt", Bytes{'x'});
    dir.Write("library/caf\xff.MP3", Mp3(u"Latin-1 name"));
    std::filesystem::create_directory_symlink(dir.PathOf("library/a"), dir.PathOf("library/loop"));
    const std::string base = dir.PathOf("library/");

    CommandRun run = Trellan({u"dump", u"--json", Path("library")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(FilesOf(run.out), (std::vector<std::string>{base + "a/c.wma", base + "b.mp3", base + "caf\\udcff.MP3"}));
    EXPECT_NE(run.err.find("trellan dump: 4 files, 3 filtered, 0 failed, 1 skipped"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("\"value\": \"Latin-1 name\""), std::string::npos);

    run = Trellan({u"dump", u"--json", u"--all", Path("library")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("readme.txt\", \"status\": \"REGDB_E_CLASSNOTREG"), std::string::npos) << run.out;

    // Lists: one path a line (CR LF and a byte-order mark allowed) or
    // NUL-separated; a name in a list that no filter takes is skipped.
    std::ofstream(dir.PathOf("lines.txt"), std::ios::binary)
        << "\xEF\xBB\xBF" << base << "b.mp3\r\n\n" << base << "a/readme.txt\n" << base << "caf\xff.MP3";
    std::ofstream(dir.PathOf("nul.txt"), std::ios::binary) << base << "caf\xff.MP3" << '\0' << base << "b.mp3" << '\0';
    run = Trellan({u"dump", u"--json", u"-q", u"--files-from", Path("lines.txt")});
    EXPECT_EQ(FilesOf(run.out), (std::vector<std::string>{base + "b.mp3", base + "caf\\udcff.MP3"}));
    run = Trellan({u"dump", u"--json", u"-q", u"-0", u"--files-from", Path("nul.txt"), Path("library/b.mp3")});
    EXPECT_EQ(FilesOf(run.out),
              (std::vector<std::string>{base + "b.mp3", base + "caf\\udcff.MP3", base + "b.mp3"}));

    // Lists that are no lists: each fails with what it is, at once.
    std::ofstream(dir.PathOf("zeros.txt"), std::ios::binary) << std::string(1 << 20, '\0');
    std::ofstream(dir.PathOf("long.txt"), std::ios::binary) << std::string(100000, 'x');
    const struct {
        const char* list;
        const char* error;
    } badLists[] = {
        {"no-such-list", "cannot read the file list: no such file or folder"},
        {"library", "cannot read the file list: a folder, not a file"},
        {"zeros.txt", "cannot read the file list: it holds a NUL byte: not a list of paths one a line"},
        {"long.txt", "cannot read the file list: an entry longer than 65536 bytes: not a list of paths"},
    };
    for (const auto& bad : badLists) {
        run = Trellan({u"dump", u"--json", u"-q", u"--files-from", Path(bad.list)});
        EXPECT_EQ(run.code, 1) << bad.list;
        EXPECT_NE(run.out.find(std::string("\"error\": \"") + bad.error), std::string::npos) << run.out;
    }
}

TEST_F(DumpTest, TextOutputKeepsItsMarginAndSendsNoControlCharacter)
{
    dir.Write("song.mp3", Mp3(u"Title \x1b[2J", u"line one\nline two\rline three"));
    const CommandRun run = Trellan({u"dump", Path("song.mp3")});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find("  chunk 1: break CHUNK_NO_BREAK, flags CHUNK_TEXT, "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("    | Title \\u001b[2J\n    | line one\n    | line two\n    | line three\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(run.err.find("can unload"), std::string::npos);
    EXPECT_NE(run.err.find("trellan dump: 1 file, 1 filtered"), std::string::npos) << run.err;
    EXPECT_NE(Trellan({u"dump", u"-v", u"-q", Path("song.mp3")}).err.find("can unload"), std::string::npos);
}

// Where the machine's classes refuse writes (on Windows, a prompt that is
// not elevated) a failed registration says that it needs an administrator;
// other failures do not.
TEST(Registration, RefusedWritesAskForAnAdministrator)
{
    const std::u16string module = Utf16(TRELLAN_MODULE_PATH);
    ASSERT_EQ(Trellan({u"unregister", module}).code, 0);
    for (const auto& [root, name] : {std::pair{HKEY_LOCAL_MACHINE, u"Software\\Classes"}, {HKEY_CLASSES_ROOT, u"CLSID"}}) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, name, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    for (bool machineRefuses : {false, true}) {
        ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_LOCAL_MACHINE, u"Software\\Classes", machineRefuses),
                  ERROR_SUCCESS);
        ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_CLASSES_ROOT, u"CLSID", TRUE), ERROR_SUCCESS);
        const CommandRun run = Trellan({u"register", module});
        ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_CLASSES_ROOT, u"CLSID", FALSE), ERROR_SUCCESS);
        ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_LOCAL_MACHINE, u"Software\\Classes", FALSE), ERROR_SUCCESS);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.out.find("DllRegisterServer"), std::string::npos) << run.out;
        EXPECT_EQ(run.err.find("trellan register needs an administrator") != std::string::npos, machineRefuses)
            << run.err;
        EXPECT_EQ(run.out.find("re-index"), std::string::npos) << "no re-index request after a failure";
    }
    // A registration that succeeds asks for a re-index; with no search
    // service to ask, it says so and succeeds.
    const CommandRun registered = Trellan({u"register", module});
    EXPECT_EQ(registered.code, 0);
    EXPECT_NE(registered.out.find("search service is not available here"), std::string::npos) << registered.out;
}

TEST(Concurrency, DumpKeepsTheOrderOfItsInputsOnEveryJobCount)
{
    const CommandRun registered = Trellan({u"register", Utf16(TRELLAN_MODULE_PATH)});
    ASSERT_EQ(registered.code, 0) << registered.err;
    TempDir dir;
    host::Arguments files;
    std::vector<std::string> expected;
    for (int i = 0; i < 48; ++i) {
        std::string name = std::to_string(i) + (i % 3 == 0 ? ".wma" : ".mp3");
        if (i % 7 == 3)
            name = "missing-" + name;  // failures are in order too
        else
            dir.Write(name, i % 3 == 0 ? Wma(Utf16("W" + name)) : Mp3(Utf16("M" + name), u"comment"));
        files.push_back(Utf16(dir.PathOf(name)));
        expected.push_back(dir.PathOf(name));
    }
    std::string first;
    for (const char16_t* jobs : {u"1", u"2", u"4", u"7", u"3"}) {
        // The last run binds by path: the same output as by stream.
        host::Arguments args{u"dump", u"--json", u"-q", u"--jobs", jobs, u"--bind", jobs[0] == u'3' ? u"path" : u"stream"};
        args.insert(args.end(), files.begin(), files.end());
        const CommandRun run = Trellan(args);
        EXPECT_EQ(run.code, 1);  // the missing files
        EXPECT_EQ(FilesOf(run.out), expected) << Utf8(jobs);
        if (first.empty())
            first = run.out;
        EXPECT_EQ(run.out, first) << "jobs " << Utf8(jobs);
    }
}

// Under a memory limit that leaves room for one large file at a time, files
// that fail for memory beside others are filtered again alone: every number
// of jobs gives what one job gives, every file read. The second row's files
// are large enough that the records waiting to be delivered, and the output,
// would be what the second try runs short of.
TEST(Concurrency, FilesThatFailForMemoryBesideOthersAreFilteredAgainAlone)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit leaves";
#else
    const CommandRun registered = Trellan({u"register", Utf16(TRELLAN_MODULE_PATH)});
    ASSERT_EQ(registered.code, 0) << registered.err;
    const Bytes small = Concatenate({BuildId3v2(3, {Id3Text("TIT2", u"Small", Id3Encoding::latin1)}),
                                     SilentMpegFrames(1)});
    const struct {
        Id3Frame text;    // the large value
        int largeFiles;   // each followed by the small file when `withSmall`
        bool withSmall;
        size_t headroom;  // MiB above what the process holds before the run
    } cases[] = {
        // About 28 MiB each by the editor's estimate.
        {Id3Lyrics(std::u16string(1000000, u'a'), Id3Encoding::utf16), 6, false, 48},
        // About 150 MiB each by the editor's estimate, 25 MB of output each.
        {Id3Comment(u"", std::u16string(12 << 20, u'w'), Id3Encoding::latin1), 3, true, 360},
    };
    for (const auto& row : cases) {
        TempDir dir;
        const Bytes large = Concatenate(
            {BuildId3v2(3, {Id3Text("TIT2", u"Large", Id3Encoding::latin1), row.text}), SilentMpegFrames(1)});
        host::Arguments files;
        for (int i = 0; i < row.largeFiles; ++i) {
            files.push_back(Utf16(dir.Write(std::to_string(i) + ".mp3", large)));
            if (row.withSmall)
                files.push_back(Utf16(dir.Write(std::to_string(i) + "-small.mp3", small)));
        }
        std::string oneJob;
        for (const char16_t* jobs : {u"1", u"2", u"4"}) {
            host::Arguments args{u"dump", u"--json", u"-q", u"--jobs", jobs};
            args.insert(args.end(), files.begin(), files.end());
            if (oneJob.empty())
                oneJob = Trellan(args).out;  // every first use made, before the limit; the records of one job
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                size_t pages = 0;
                std::ifstream("/proc/self/statm") >> pages;
                const rlimit limit{pages * size_t(sysconf(_SC_PAGESIZE)) + (row.headroom << 20), RLIM_INFINITY};
                if (setrlimit(RLIMIT_AS, &limit) != 0)
                    _exit(3);
                PlatformSeam_FitHeapToLimits();  // as in a process started under the limit
                const CommandRun run = Trellan(args);
                _exit(run.code != 0 ? 4 : run.out != oneJob ? 5 : 0);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status)) << "jobs " << Utf8(jobs) << ": the child ended with signal " << WTERMSIG(status);
            EXPECT_EQ(WEXITSTATUS(status), 0) << "jobs " << Utf8(jobs) << " (4: a file failed, 5: other records)";
        }
    }
#endif
}

TEST(Concurrency, MemoryRunningOutOutsideAFileEndsTheRunOnEveryThread)
{
    for (unsigned jobs : {1u, 4u}) {
        host::FilterLoader loader;
        host::FilterFinder finder;
        int handedOut = 0;
        std::vector<std::u16string> delivered;
        struct Job : host::FileJob {
            std::vector<std::u16string>& delivered;
            explicit Job(std::vector<std::u16string>& delivered) : delivered(delivered) {}
            void Deliver() override { delivered.push_back(record.path); }
        };
        auto next = [&]() -> std::unique_ptr<host::FileJob> {
            if (handedOut == 20)
                throw std::bad_alloc();
            auto job = std::make_unique<Job>(delivered);
            job->record.path = Utf16(std::to_string(handedOut++));
            job->record.skipped = true;
            return job;
        };
        EXPECT_FALSE(host::RunFilterJobs(loader, finder, {jobs, 256}, next));
        ASSERT_LE(delivered.size(), 20u) << jobs;
        for (size_t i = 0; i < delivered.size(); ++i)
            EXPECT_EQ(delivered[i], Utf16(std::to_string(i))) << jobs;
    }
}

}  // namespace
}  // namespace trellan::test
