// The registry's readiness and write transaction in the command's words:
// each registry error is told as what it means for the database at its path
// (a missing folder, a damaged file, a busy one). On Windows the registry is
// always there and the transaction does nothing; on Linux it is the
// stand-in's database, and a write not committed is rolled back.
#include "registry/registry_session.h"

#include "system/platform_differences.h"
#include "regfile/key_path.h"

#include <cstdio>

namespace host {
namespace {

std::string Problem(LONG error, const std::string& path)
{
    const std::string code = " (" + RegistryErrorName(error) + ")";
    switch (error) {
    case ERROR_PATH_NOT_FOUND:
        return "the folder of the registry " + path + " does not exist" + code;
    case ERROR_REGISTRY_CORRUPT:
        return "the registry " + path + " is not a registry database, or it is damaged" + code;
    case ERROR_ACCESS_DENIED:
        return "the registry " + path + " cannot be read" + code;
    case ERROR_BAD_FILE_TYPE:
        return "the registry " + path + " is not a regular file (a pipe, socket or device)" + code;
    case ERROR_BUSY:
        return "the registry " + path + " is kept busy by other commands" + code;
    default:
        return "the registry " + path + " cannot be opened" + code;
    }
}

void Report(const char* command, const std::string& problem)
{
    std::fprintf(stderr, "%s: %s\n", command, problem.c_str());
}

std::string DatabaseName()
{
    bool writable = false;
    std::string path;
    OpenRegistry(&writable, &path);
    return path;
}

}  // namespace

bool RegistryReady(const char* command, bool forWriting)
{
    bool writable = false;
    std::string path;
    LONG result = OpenRegistry(&writable, &path);
    if (result != ERROR_SUCCESS) {
        Report(command, Problem(result, path));
        return false;
    }
    if (forWriting && !writable) {
        Report(command, "the registry " + path + " can only be read, not changed");
        return false;
    }
    return true;
}

RegistryWrite::RegistryWrite(const char* command) : command(command)
{
    if (!RegistryReady(command, true))
        return;
    LONG result = BeginRegistryWrite();
    if (result != ERROR_SUCCESS) {
        Report(command, Problem(result, DatabaseName()));
        return;
    }
    began = true;
}

RegistryWrite::~RegistryWrite()
{
    if (began)
        EndRegistryWrite(false);
}

bool RegistryWrite::Commit()
{
    if (!began)
        return false;
    began = false;
    LONG result = EndRegistryWrite(true);
    if (result == ERROR_SUCCESS)
        return true;
    Report(command, "the changes could not be saved to the registry " + DatabaseName() + " (" +
                        RegistryErrorName(result) + ")");
    return false;
}

}  // namespace host
