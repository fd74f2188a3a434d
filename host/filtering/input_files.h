// The files a command is asked about, one at a time: files named on the
// command line, folders walked recursively, and file lists (--files-from).
// Nothing is read ahead beyond the folder being walked, so memory does not
// grow with the number of files.
#pragma once

#include "cli/commands.h"

#include "winapi.h"

#include <memory>
#include <string>
#include <vector>

namespace host {

// What a folder's listing says of a file in it (times in 100 ns ticks
// since 1601), so that nobody need ask the system again.
struct ListedStatus {
    bool link = false;        // a link: the rest describes what it points to, if anything
    ULONGLONG size = 0;
    LONGLONG lastWrite = 0;
    bool identified = false;  // the listing gave the two below (not every file system's does)
    LONGLONG changeTime = 0;  // of its contents or its status
    ULONGLONG fileId = 0;     // its number in the file system
};

struct InputFile {
    std::u16string path;
    bool found = false;        // found in a folder or a list, not named on the command line
    HRESULT status = S_OK;     // a folder or list that could not be read: its failure
    std::string problem;       // ... in words
    bool unreadList = false;   // the failure is a file list's: which paths it held is not known
    ListedStatus listed;       // found in a folder: what its listing said (else all unknown)
};

class InputFiles {
public:
    // `operands`: files and folders, in order; then each of `lists` ("-" is
    // standard input), one path a line, or NUL-separated with
    // `nulSeparated`. A list ends early once `stopRequested` says so.
    InputFiles(Arguments operands, Arguments lists, bool nulSeparated, bool (*stopRequested)() = nullptr);
    ~InputFiles();
    InputFiles(const InputFiles&) = delete;
    InputFiles& operator=(const InputFiles&) = delete;

    // The next file; false at the end. A folder or list that cannot be read
    // comes as an InputFile with a failed status, and the walk goes on.
    bool Next(InputFile& file);

private:
    struct Folder;
    struct List;
    bool NextFromFolders(InputFile& file);
    bool NextFromList(InputFile& file);
    // Starts walking `path` as a folder; false (and `file` filled with the
    // failure) when it cannot be read.
    bool EnterFolder(const std::u16string& path, InputFile& file);
    // Lists `folder` into its entries: through its handle, with each
    // entry's change time and file number (`begun` once an entry came), or
    // by a search of its names. ERROR_NO_MORE_FILES when done, else the
    // error that stopped it.
    DWORD ListWithIds(Folder& folder, bool& begun);
    DWORD ListByPattern(Folder& folder);

    Arguments operands;
    size_t nextOperand = 0;
    Arguments lists;
    size_t nextList = 0;
    bool nulSeparated;
    bool (*stopRequested)();
    std::vector<std::unique_ptr<Folder>> folders;  // the folders being walked, innermost last
    std::vector<ULONGLONG> listing;                // a folder's entries as the system lists them
    std::unique_ptr<List> list;                    // the list being read
};

}  // namespace host
