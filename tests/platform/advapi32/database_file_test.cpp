// The registry file: where it lives, that it is shared between processes,
// that it survives a process killed in the middle of writing, that threads
// may use the registry at once, how an unusable or read-only file is met,
// and one transaction for a whole command (killed and raced commands, and
// the file left at exit: the registration tests).
#include "support/registry_fixture.h"

#include <sqlite3.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace trellan::test {
namespace {

class DatabaseFileTest : public MemoryRegistryTest {
protected:
    void SetUp() override
    {
        MemoryRegistryTest::SetUp();
        char pattern[] = "/tmp/trellan-registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
    }
    void TearDown() override
    {
        MemoryRegistryTest::TearDown();
        unsetenv("XDG_DATA_HOME");
        std::filesystem::remove_all(directory);
    }
    void UseFile(const std::string& path)
    {
        setenv("TRELLAN_REGISTRY", path.c_str(), 1);
        PlatformRegistry_Reset();
    }
    std::string directory;
};

LONG WriteNumber(HKEY key, int index)
{
    std::u16string name = Utf16("v" + std::to_string(index));
    DWORD value = static_cast<DWORD>(index) * 3;
    return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool ReadNumber(HKEY key, int index, DWORD* value)
{
    std::u16string name = Utf16("v" + std::to_string(index));
    DWORD size = sizeof *value;
    return RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
           ERROR_SUCCESS;
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::string IntegrityCheck(const std::string& path)
{
    sqlite3* db = nullptr;
    std::string answer = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            answer = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return answer;
}

TEST_F(DatabaseFileTest, DefaultFileIsMadeUnderTheDataHomeAndKeepsItsKeys)
{
    unsetenv("TRELLAN_REGISTRY");
    setenv("XDG_DATA_HOME", (directory + "/data/home").c_str(), 1);
    PlatformRegistry_Reset();
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Kept", "Name", "value"), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(directory + "/data/home/trellan/registry.sqlite"));
    // The same folder is what the shell names as the user's local data.
    PWSTR known = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known), S_OK);
    EXPECT_EQ(Utf8(known), directory + "/data/home");
    CoTaskMemFree(known);

    PlatformRegistry_Reset();  // reopen the file
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Kept"));

    // A private in-memory registry starts empty.
    setenv("TRELLAN_REGISTRY", ":memory:", 1);
    PlatformRegistry_Reset();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Kept"));
}

// A registry of an earlier version kept HKEY_CLASSES_ROOT's keys under the
// root itself: they move to the machine's classes when it is opened,
// merged with a key the machine's classes already have.
TEST_F(DatabaseFileTest, ClassesOfAnEarlierRegistryMoveToTheMachinesClasses)
{
    const std::string path = directory + "/registry.sqlite";
    UseFile(path);
    Key machine;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.wma", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, machine.Receive(), nullptr), ERROR_SUCCESS);
    ASSERT_EQ(WriteNumber(machine.Get(), 1), ERROR_SUCCESS);
    ASSERT_EQ(WriteNumber(machine.Get(), 2), ERROR_SUCCESS);
    machine.Close();
    PlatformRegistry_Reset();

    // Names as written (UTF-16LE) and folded (upper case, UTF-16BE).
    auto names = [](const std::string& name) {
        std::string written, folded;
        for (char c : name) {
            written += {c, 0};
            folded += {0, static_cast<char>(std::toupper(static_cast<unsigned char>(c)))};
        }
        return "x'" + Hex(written) + "', x'" + Hex(folded) + "'";
    };
    const std::string legacy =
        "INSERT INTO keys(id, parent, name, folded, depth) VALUES (9001, 1, " + names(".old") + ", 1),"
        " (9002, 9001, " + names("Inner") + ", 2), (9003, 1, " + names(".WMA") + ", 1);"
        "INSERT INTO key_values(key, name, folded, type, data) VALUES (9002, " + names("v1") + ", 4, x'2A000000'),"
        " (9003, " + names("v1") + ", 4, x'07000000');";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, legacy.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);

    PlatformRegistry_Reset();  // reopened: moved
    Key inner, wma;
    DWORD number = 0;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.old\\Inner", 0, KEY_READ, inner.Receive()),
              ERROR_SUCCESS);
    EXPECT_TRUE(ReadNumber(inner.Get(), 1, &number) && number == 42);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u".wma", 0, KEY_READ, wma.Receive()), ERROR_SUCCESS);
    EXPECT_TRUE(ReadNumber(wma.Get(), 1, &number) && number == 7) << "the moved value wins";
    EXPECT_TRUE(ReadNumber(wma.Get(), 2, &number) && number == 6) << "the machine's own value stays";
    // Depths follow the move: Inner lies 4 levels below its root, so 508
    // more fit below it, not 510.
    std::string deep = ".old\\Inner";
    for (int level = 0; level < 508; ++level)
        deep += "\\k";
    EXPECT_EQ(CreateKey(HKEY_CLASSES_ROOT, deep), ERROR_SUCCESS);
    EXPECT_EQ(CreateKey(HKEY_CLASSES_ROOT, deep + "\\k"), ERROR_INVALID_PARAMETER);
}

TEST_F(DatabaseFileTest, AnotherProcessReadsWhatOneWrote)
{
    std::string path = directory + "/shared.sqlite";
    UseFile(path);
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, "Shared"), ERROR_SUCCESS);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Key key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Shared", 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS)
            _exit(2);
        for (int i = 0; i < 20; ++i) {
            if (WriteNumber(key.Get(), i) != ERROR_SUCCESS)
                _exit(3);
        }
        key.Close();
        _exit(0);
    }
    // Meanwhile this process writes too.
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Shared\\Parent", "Name", "parent"), ERROR_SUCCESS);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    Key key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Shared", 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    for (int i = 0; i < 20; ++i) {
        DWORD value = 0;
        ASSERT_TRUE(ReadNumber(key.Get(), i, &value)) << i;
        EXPECT_EQ(value, static_cast<DWORD>(i) * 3);
    }
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Shared\\Parent"));
}

TEST_F(DatabaseFileTest, ProcessKilledWhileWritingLosesNothingCommitted)
{
    std::string path = directory + "/killed.sqlite";
    UseFile(path);
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "Loop"), ERROR_SUCCESS);
    PlatformRegistry_Reset();

    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(progress[0]);
        Key key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Loop", 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS)
            _exit(2);
        for (int i = 0;; ++i) {
            if (WriteNumber(key.Get(), i) != ERROR_SUCCESS)
                _exit(3);
            // Reported only once the call has returned, that is committed.
            if (write(progress[1], &i, sizeof i) != sizeof i)
                _exit(4);
        }
    }
    close(progress[1]);
    int last = -1;
    int report = 0;
    while (last < 200 && read(progress[0], &report, sizeof report) == sizeof report)
        last = report;
    kill(child, SIGKILL);
    while (read(progress[0], &report, sizeof report) == sizeof report)
        last = report;
    close(progress[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own: " << WEXITSTATUS(status);
    ASSERT_GE(last, 200);

    EXPECT_EQ(IntegrityCheck(path), "ok");
    PlatformRegistry_Reset();
    Key key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Loop", 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    for (int i = 0; i <= last; ++i) {
        DWORD value = 0;
        ASSERT_TRUE(ReadNumber(key.Get(), i, &value)) << "committed value " << i << " of " << last << " is lost";
        EXPECT_EQ(value, static_cast<DWORD>(i) * 3);
    }
}

TEST_F(DatabaseFileTest, ThreadsShareTheRegistry)
{
    UseFile(directory + "/threads.sqlite");
    constexpr int kThreads = 4;
    constexpr int kWrites = 50;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            Key key;
            std::u16string path = Utf16("Threads\\T" + std::to_string(t));
            if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                key.Receive(), nullptr) != ERROR_SUCCESS) {
                ++failures[t];
                return;
            }
            for (int i = 0; i < kWrites; ++i)
                failures[t] += WriteNumber(key.Get(), i) != ERROR_SUCCESS;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0) << "thread " << t;
        Key key;
        std::u16string path = Utf16("Threads\\T" + std::to_string(t));
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
        DWORD values = 0;
        ASSERT_EQ(RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                   nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(values, static_cast<DWORD>(kWrites));
    }
}

TEST_F(DatabaseFileTest, UnusableDatabasesAreReportedByCause)
{
    const std::string text = "this is not a registry, and it must stay as it is\n";
    std::ofstream(directory + "/not-a-database") << text;
    UseFile(directory + "/valid.sqlite");
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Kept", "Name", "value"), ERROR_SUCCESS);
    PlatformRegistry_Reset();
    std::filesystem::copy_file(directory + "/valid.sqlite", directory + "/damaged.sqlite");
    std::filesystem::resize_file(directory + "/damaged.sqlite", 50);
    std::filesystem::create_directory(directory + "/a-folder");
    std::filesystem::create_directory(directory + "/empty-folder");

    struct Case {
        std::string path;
        LONG error;
    };
    const Case cases[] = {
        {directory + "/not-a-database", ERROR_REGISTRY_CORRUPT},
        {directory + "/damaged.sqlite", ERROR_REGISTRY_CORRUPT},
        {directory + "/missing/folder/registry.sqlite", ERROR_PATH_NOT_FOUND},
        {directory + "/a-folder", ERROR_CANTOPEN},
        {directory + "/empty-folder/new.sqlite", ERROR_SUCCESS},
    };
    for (const Case& row : cases) {
        UseFile(row.path);
        BOOL writable = FALSE;
        EXPECT_EQ(PlatformRegistry_Open(&writable), row.error) << row.path;
        EXPECT_EQ(writable, row.error == ERROR_SUCCESS) << row.path;
        EXPECT_EQ(PlatformRegistry_Path(), row.path);
        EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "X"), row.error) << row.path;
        EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, "Kept"), false) << row.path;
    }
    EXPECT_FALSE(std::filesystem::exists(directory + "/missing")) << "only the default folders are made";
    std::ifstream in(directory + "/not-a-database");
    std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(after, text);
}

// Runs `check` in a child process, as "nobody" when the tests run as root
// (whom file modes do not stop), and answers its exit code.
template <typename Check>
int AsReader(Check check)
{
    pid_t child = fork();
    if (child == 0) {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(100);
        _exit(check());
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(DatabaseFileTest, ReadOnlyDatabaseIsReadAndRefusesWrites)
{
    const std::string path = directory + "/registry.sqlite";
    UseFile(path);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, ".mp3\\PersistentHandler", "", "{handler}"), ERROR_SUCCESS);
    PlatformRegistry_Reset();
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    auto reader = [] {
        BOOL writable = TRUE;
        if (PlatformRegistry_Open(&writable) != ERROR_SUCCESS || writable)
            return 1;
        if (!KeyExists(HKEY_CLASSES_ROOT, ".mp3\\PersistentHandler"))
            return 2;
        if (CreateKey(HKEY_CLASSES_ROOT, "New") != ERROR_ACCESS_DENIED)
            return 3;
        return PlatformRegistry_BeginWrite() == ERROR_ACCESS_DENIED ? 0 : 4;
    };
    // A folder that takes no new files (so the log's shared memory cannot be
    // made), and one that does.
    using std::filesystem::perms;
    for (perms folder : {perms::owner_read | perms::owner_exec | perms::group_read | perms::group_exec |
                             perms::others_read | perms::others_exec,
                         perms::all | perms::sticky_bit}) {
        std::filesystem::permissions(directory, folder);
        EXPECT_EQ(AsReader(reader), 0) << static_cast<int>(folder);
    }
    std::filesystem::permissions(directory, perms::owner_all);
}

TEST_F(DatabaseFileTest, CommandTransactionIsAllOrNothing)
{
    // Rolled back, a command leaves nothing; a call that fails inside it
    // changes nothing of the rest. (Killed commands: the registration tests.)
    UseFile(directory + "/command.sqlite");
    for (BOOL commit : {FALSE, TRUE}) {
        ASSERT_EQ(PlatformRegistry_BeginWrite(), ERROR_SUCCESS);
        EXPECT_EQ(PlatformRegistry_BeginWrite(), ERROR_BUSY) << "one at a time";
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "Command\\Key"), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Command"), ERROR_ACCESS_DENIED) << "a call that fails";
        ASSERT_EQ(PlatformRegistry_EndWrite(commit), ERROR_SUCCESS);
        PlatformRegistry_Reset();
        EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, "Command\\Key"), commit != FALSE);
    }
}

}  // namespace
}  // namespace trellan::test
