// GetFileInformationByHandleEx listing a folder: every entry once, with what
// stat says of it, across calls whose buffer holds one entry or many, and
// the platform's answers for the end, a buffer too small and a file.
#include "platform/platform_test_support.h"

#include <win32/kernel32.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <vector>

namespace trellan::test {
namespace {

struct Listed {
    DWORD attributes;
    LONGLONG size, lastWrite, changeTime, fileId;
};

LONGLONG Ticks(const timespec& time)
{
    return (time.tv_sec + 11644473600LL) * 10000000LL + time.tv_nsec / 100;
}

// Lists the folder open as `folder` in calls of `bytes`; the names are
// checked to come once each.
std::map<std::u16string, Listed> ListAll(HANDLE folder, DWORD bytes, FILE_INFO_BY_HANDLE_CLASS first)
{
    std::map<std::u16string, Listed> listed;
    std::vector<ULONGLONG> buffer(bytes / 8 + 1);
    for (FILE_INFO_BY_HANDLE_CLASS kind = first; GetFileInformationByHandleEx(folder, kind, buffer.data(), bytes);
         kind = FileIdBothDirectoryInfo) {
        for (auto* at = reinterpret_cast<const char*>(buffer.data());;) {
            const auto& info = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            const std::u16string name(info.FileName, info.FileNameLength / sizeof(WCHAR));
            EXPECT_TRUE(listed.emplace(name, Listed{info.FileAttributes, info.EndOfFile.QuadPart,
                                                    info.LastWriteTime.QuadPart, info.ChangeTime.QuadPart,
                                                    info.FileId.QuadPart})
                            .second)
                << "listed twice";
            if (info.NextEntryOffset == 0)
                break;
            EXPECT_EQ(info.NextEntryOffset % 8, 0u);
            at += info.NextEntryOffset;
        }
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES)) << bytes;
    return listed;
}

TEST(FolderListing, EveryEntryOnceWithItsStatusInBuffersOfAnySize)
{
    ScratchDirectory scratch;
    WriteBytes(scratch.Path("song.mp3"), std::vector<uint8_t>(1234, 'x'));
    WriteBytes(scratch.Path("Ελλάδα.wma"), {'y'});
    ASSERT_EQ(mkdir(scratch.Path("sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("song.mp3", scratch.Path("link.mp3").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", scratch.Path("dangling").c_str()), 0);

    HANDLE folder = CreateFileW(Utf16(scratch.Path("")).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    const DWORD oneEntry = offsetof(FILE_ID_BOTH_DIR_INFO, FileName) + 2 * 12;
    // A large buffer, a buffer that holds one short name at a time, and the
    // same again from the start.
    const auto whole = ListAll(folder, 65536, FileIdBothDirectoryInfo);
    EXPECT_EQ(ListAll(folder, oneEntry, FileIdBothDirectoryRestartInfo).size(), whole.size());
    ASSERT_EQ(whole.size(), 7u);  // ".", "..", and five entries

    struct stat song {};
    ASSERT_EQ(stat(scratch.Path("song.mp3").c_str(), &song), 0);
    const Listed& listedSong = whole.at(u"song.mp3");
    EXPECT_EQ(listedSong.size, 1234);
    EXPECT_EQ(listedSong.lastWrite, Ticks(song.st_mtim));
    EXPECT_EQ(listedSong.changeTime, Ticks(song.st_ctim));
    EXPECT_EQ(listedSong.fileId, static_cast<LONGLONG>(song.st_ino));
    EXPECT_EQ(whole.at(u"Ελλάδα.wma").size, 1);
    EXPECT_TRUE(whole.at(u"sub").attributes & FILE_ATTRIBUTE_DIRECTORY);
    // A link is reported with what it points to; one that leads nowhere as itself.
    EXPECT_EQ(whole.at(u"link.mp3").attributes & FILE_ATTRIBUTE_REPARSE_POINT, FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(whole.at(u"link.mp3").fileId, listedSong.fileId);
    EXPECT_TRUE(whole.at(u"dangling").attributes & FILE_ATTRIBUTE_REPARSE_POINT);

    // A buffer too small for the next entry, then a call that takes it.
    std::vector<ULONGLONG> small(4);
    EXPECT_FALSE(GetFileInformationByHandleEx(folder, FileIdBothDirectoryRestartInfo, small.data(), 32));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(ListAll(folder, 65536, FileIdBothDirectoryInfo).size(), whole.size());
    CloseHandle(folder);

    // A file has no entries; other classes are not answered.
    HANDLE file = CreateFileW(Utf16(scratch.Path("song.mp3")).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    struct Case {
        HANDLE handle;
        FILE_INFO_BY_HANDLE_CLASS kind;
        DWORD error;
    } cases[] = {
        {file, FileIdBothDirectoryInfo, ERROR_INVALID_PARAMETER},
        {file, FileBasicInfo, ERROR_INVALID_PARAMETER},
        {nullptr, FileIdBothDirectoryInfo, ERROR_INVALID_HANDLE},
    };
    for (const Case& row : cases) {
        SetLastError(0);
        EXPECT_FALSE(GetFileInformationByHandleEx(row.handle, row.kind, small.data(), 32));
        EXPECT_EQ(GetLastError(), row.error) << row.kind;
    }
    CloseHandle(file);
}

}  // namespace
}  // namespace trellan::test
