// The walk over folders and lists. A folder's entries are read whole, with
// the size, times and file number its listing gives, and sorted by name,
// whatever order the file system lists them in; a link to a folder is not
// followed, as it could lead back up the tree. Lists are read 64 KiB at a
// time: an entry longer than 64 KiB, or a NUL in a list of lines, refuses
// the list at once, so that /dev/zero or a binary file cannot fill memory.
#include "filtering/input_files.h"

#include "filtering/failure_cause.h"
#include "system/opened_file.h"
#include "system/platform_differences.h"
#include "text/status_names.h"

#include <algorithm>
#include <cstring>

namespace host {

struct InputFiles::Folder {
    struct Entry {
        std::u16string name;
        bool isFolder;
        ListedStatus status;
    };
    std::u16string path;
    std::vector<Entry> entries;  // in name order
    size_t next = 0;

    // Adds an entry of the folder, but for "." and "..", and a link to a
    // folder, which is not followed: it could lead back up the tree.
    void Add(std::u16string name, DWORD attributes, ListedStatus status)
    {
        if (name == u"." || name == u"..")
            return;
        const bool isFolder = attributes & FILE_ATTRIBUTE_DIRECTORY;
        status.link = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
        if (isFolder && status.link)
            return;
        entries.push_back({std::move(name), isFolder, status});
    }
};

struct InputFiles::List {
    explicit List(HANDLE handle, bool owned) : handle(handle), owned(owned) {}
    List(const List&) = delete;
    List& operator=(const List&) = delete;
    ~List()
    {
        if (owned)
            CloseHandle(handle);
    }
    HANDLE handle;
    bool owned;
    std::u16string name;
    std::string pending;  // read but not yet split
    size_t start = 0;     // where the next entry begins in `pending`
    bool ended = false;
    bool first = true;    // a byte-order mark may open the list
};

namespace {

std::u16string Joined(const std::u16string& folder, const std::u16string& name)
{
    if (!folder.empty() && (folder.back() == u'/' || folder.back() == pathSeparator))
        return folder + name;
    return folder + pathSeparator + name;
}

bool IsFolder(const std::u16string& path)
{
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str()));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Fills `file` with the failure to read `what` (a folder or a list), in
// `words` (by default, the error's).
void Failed(InputFile& file, const std::u16string& path, const char* what, DWORD error, std::string words = {})
{
    file = InputFile();
    file.path = path;
    file.status = HRESULT_FROM_WIN32(error);
    if (SUCCEEDED(file.status))
        file.status = E_FAIL;
    file.problem = std::string("cannot read the ") + what + ": " + (words.empty() ? Win32ErrorWords(error) : words);
    file.unreadList = std::strcmp(what, "file list") == 0;
}

// The longest entry a list may hold: far longer than any path.
constexpr size_t kLongestEntry = 65536;

// The bytes of a folder's listing asked for at a time: a few hundred entries.
constexpr DWORD kListingBytes = 65536;

// Why a list at `path` could not be opened, as a file's path problem is
// said (a folder or a socket named for what it is, not by the error its open
// gave), else the open's error.
std::string ListOpenProblem(const std::u16string& path, DWORD error)
{
    FailureCause cause;
    return DescribePathProblem(path, cause) && !cause.words.empty() ? cause.words : Win32ErrorWords(error);
}

}  // namespace

InputFiles::InputFiles(Arguments operands, Arguments lists, bool nulSeparated, bool (*stopRequested)())
    : operands(std::move(operands)), lists(std::move(lists)), nulSeparated(nulSeparated), stopRequested(stopRequested)
{
}

InputFiles::~InputFiles() = default;

bool InputFiles::EnterFolder(const std::u16string& path, InputFile& file)
{
    auto folder = std::make_unique<Folder>();
    folder->path = path;
    bool begun = false;
    DWORD error = ListWithIds(*folder, begun);
    if (error != ERROR_NO_MORE_FILES && !begun)
        error = ListByPattern(*folder);  // a file system that lists no file numbers, or says why it cannot
    if (error != ERROR_NO_MORE_FILES) {
        Failed(file, path, "folder", error);
        return false;
    }
    std::sort(folder->entries.begin(), folder->entries.end(),
              [](const Folder::Entry& a, const Folder::Entry& b) { return a.name < b.name; });
    folders.push_back(std::move(folder));
    return true;
}

DWORD InputFiles::ListWithIds(Folder& folder, bool& begun)
{
    OpenedFile handle(CreateFileW(reinterpret_cast<LPCWSTR>(folder.path.c_str()), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.IsOpen())
        return GetLastError();
    if (listing.empty())
        listing.resize(kListingBytes / sizeof(ULONGLONG));
    while (GetFileInformationByHandleEx(handle.Get(), FileIdBothDirectoryInfo, listing.data(), kListingBytes)) {
        begun = true;
        for (auto* at = reinterpret_cast<const BYTE*>(listing.data());;) {
            const auto& info = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            folder.Add(std::u16string(reinterpret_cast<const char16_t*>(info.FileName),
                                      info.FileNameLength / sizeof(WCHAR)),
                       info.FileAttributes,
                       {false, static_cast<ULONGLONG>(info.EndOfFile.QuadPart), info.LastWriteTime.QuadPart,
                        true, info.ChangeTime.QuadPart, static_cast<ULONGLONG>(info.FileId.QuadPart)});
            if (info.NextEntryOffset == 0)
                break;
            at += info.NextEntryOffset;
        }
    }
    return GetLastError();
}

DWORD InputFiles::ListByPattern(Folder& folder)
{
    WIN32_FIND_DATAW data;
    const std::u16string pattern = Joined(folder.path, u"*");
    HANDLE search = FindFirstFileW(reinterpret_cast<LPCWSTR>(pattern.c_str()), &data);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError();
    do {
        const LONGLONG lastWrite =
            static_cast<LONGLONG>((ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                  data.ftLastWriteTime.dwLowDateTime);
        folder.Add(reinterpret_cast<const char16_t*>(data.cFileName), data.dwFileAttributes,
                   {false, (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow, lastWrite});
    } while (FindNextFileW(search, &data));
    const DWORD error = GetLastError();
    FindClose(search);
    return error;
}

bool InputFiles::NextFromFolders(InputFile& file)
{
    while (!folders.empty()) {
        Folder& folder = *folders.back();
        if (folder.next == folder.entries.size()) {
            folders.pop_back();
            continue;
        }
        const Folder::Entry& entry = folder.entries[folder.next++];
        const std::u16string path = Joined(folder.path, entry.name);
        if (entry.isFolder) {
            if (!EnterFolder(path, file))
                return true;  // the failure is this step's answer
            continue;
        }
        file = InputFile();
        file.path = path;
        file.found = true;
        file.listed = entry.status;
        return true;
    }
    return false;
}

bool InputFiles::NextFromList(InputFile& file)
{
    const char separator = nulSeparated ? '\0' : '\n';
    for (;;) {
        const size_t end = list->pending.find(separator, list->start);
        if (end == std::string::npos && !list->ended) {
            // Keep what is not split yet, and read more: an entry at most
            // as long as the longest, no NUL in a list of lines (/dev/zero
            // and a binary file are refused at their first bytes), and an
            // end when the run is asked to stop (a list of NULs that never
            // ends holds no entry).
            list->pending.erase(0, list->start);
            list->start = 0;
            if (list->pending.size() > kLongestEntry) {
                Failed(file, list->name, "file list", ERROR_INVALID_DATA,
                       "an entry longer than " + std::to_string(kLongestEntry) + " bytes: not a list of paths");
                list.reset();
                return true;
            }
            if (stopRequested && stopRequested()) {
                list.reset();
                return false;
            }
            char buffer[65536];
            DWORD got = 0;
            if (!ReadFile(list->handle, buffer, sizeof buffer, &got, nullptr)) {
                Failed(file, list->name, "file list", GetLastError());
                list.reset();
                return true;
            }
            if (!nulSeparated && std::memchr(buffer, '\0', got)) {
                Failed(file, list->name, "file list", ERROR_INVALID_DATA,
                       "it holds a NUL byte: not a list of paths one a line (--null reads a NUL-separated list)");
                list.reset();
                return true;
            }
            if (got == 0)
                list->ended = true;
            list->pending.append(buffer, got);
            continue;
        }
        size_t stop = end == std::string::npos ? list->pending.size() : end;
        std::string_view entry(list->pending.data() + list->start, stop - list->start);
        list->start = end == std::string::npos ? list->pending.size() : end + 1;
        if (list->first && entry.substr(0, 3) == "\xEF\xBB\xBF")
            entry.remove_prefix(3);
        list->first = false;
        if (!nulSeparated && !entry.empty() && entry.back() == '\r')
            entry.remove_suffix(1);
        if (!entry.empty()) {
            file = InputFile();
            file.path = PathFromListBytes(entry);
            file.found = true;
            return true;
        }
        if (end == std::string::npos) {
            list.reset();
            return false;
        }
    }
}

bool InputFiles::Next(InputFile& file)
{
    for (;;) {
        if (NextFromFolders(file))
            return true;
        if (list) {
            if (NextFromList(file))
                return true;
            continue;
        }
        if (nextOperand < operands.size()) {
            const std::u16string& operand = operands[nextOperand++];
            if (IsFolder(operand)) {
                if (!EnterFolder(operand, file))
                    return true;
                continue;
            }
            file = InputFile();
            file.path = operand;
            return true;
        }
        if (nextList < lists.size()) {
            const std::u16string& name = lists[nextList++];
            HANDLE handle = name == u"-" ? GetStdHandle(STD_INPUT_HANDLE)
                                         : CreateFileW(reinterpret_cast<LPCWSTR>(name.c_str()), GENERIC_READ,
                                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
                const DWORD error = GetLastError();
                Failed(file, name, "file list", error, ListOpenProblem(name, error));
                return true;
            }
            list = std::make_unique<List>(handle, name != u"-");
            list->name = name;
            continue;
        }
        return false;
    }
}

}  // namespace host
