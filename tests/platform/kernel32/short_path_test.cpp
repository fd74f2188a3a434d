// GetShortPathNameW: a path is its own short form; the answer follows the
// platform's rules for buffers that fit and buffers that do not.
#include "platform/platform_test_support.h"

#include <win32/resources.h>

namespace trellan::test {
namespace {

TEST(ShortPath, AnswersFollowTheBufferRules)
{
    ScratchDirectory scratch;
    WriteBytes(scratch.Path("a file.txt"), {'x'});
    const std::u16string path = Utf16(scratch.Path("a file.txt"));
    const DWORD length = static_cast<DWORD>(path.size());
    struct Case {
        DWORD size;
        DWORD answer;
        bool written;
    } cases[] = {
        {length + 10, length, true},
        {length + 1, length, true},
        {length, length + 1, false},
        {1, length + 1, false},
        {0, length + 1, false},
    };
    for (const Case& row : cases) {
        std::u16string buffer(length + 16, u'#');
        EXPECT_EQ(GetShortPathNameW(path.c_str(), buffer.data(), row.size), row.answer) << row.size;
        if (row.written)
            EXPECT_EQ(std::u16string(buffer.c_str()), path) << row.size;
        else
            EXPECT_EQ(buffer, std::u16string(length + 16, u'#')) << row.size;
    }
    EXPECT_EQ(GetShortPathNameW(path.c_str(), nullptr, 0), length + 1);

    // The same buffer for both paths.
    std::u16string inPlace = path + u'\0';
    EXPECT_EQ(GetShortPathNameW(inPlace.c_str(), inPlace.data(), static_cast<DWORD>(inPlace.size())), length);
    EXPECT_EQ(std::u16string(inPlace.c_str()), path);

    // A directory has a short form too.
    const std::u16string directory = Utf16(scratch.Path(""));
    EXPECT_EQ(GetShortPathNameW(directory.c_str(), nullptr, 0), directory.size() + 1);
}

TEST(ShortPath, MissingPathsAnswerZeroWithTheirError)
{
    ScratchDirectory scratch;
    struct Case {
        std::string path;
        DWORD error;
    } cases[] = {
        {scratch.Path("missing.dll"), ERROR_FILE_NOT_FOUND},
        {scratch.Path("missing/dir/x.dll"), ERROR_PATH_NOT_FOUND},
    };
    for (const Case& row : cases) {
        WCHAR buffer[MAX_PATH] = {u'#'};
        SetLastError(0);
        EXPECT_EQ(GetShortPathNameW(Utf16(row.path).c_str(), buffer, MAX_PATH), 0u) << row.path;
        EXPECT_EQ(GetLastError(), row.error) << row.path;
        EXPECT_EQ(buffer[0], u'#');
    }
    SetLastError(0);
    EXPECT_EQ(GetShortPathNameW(nullptr, nullptr, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace trellan::test
