// The statement fault seam. While no fault is asked for, a statement pays
// one relaxed load. A fault is raised through SQLite itself, by a function
// that fails with the code, so that the connection's error code and
// message are what a real failure leaves.
#include "sqlite_faults.h"

#include <sqlite3.h>

#include <atomic>
#include <mutex>

namespace platform::sqlite {
namespace {

std::atomic<bool> armed{false};
std::mutex guard;
std::string faultPath;
int faultCode = 0;
long faultSkip = 0, faultCount = 0, counted = 0;

void Fail(sqlite3_context* context, int, sqlite3_value** values)
{
    sqlite3_result_error_code(context, sqlite3_value_int(values[0]));
}

}  // namespace

void FailStatements(const std::string& path, int code, int skip, int count)
{
    std::lock_guard<std::mutex> lock(guard);
    faultPath = path;
    faultCode = code;
    faultSkip = skip;
    faultCount = count;
    counted = 0;
    armed.store(!path.empty(), std::memory_order_relaxed);
}

long StatementsCounted()
{
    std::lock_guard<std::mutex> lock(guard);
    return counted;
}

int StatementFault(sqlite3* db)
{
    if (!armed.load(std::memory_order_relaxed) || !db)
        return 0;
    const char* file = sqlite3_db_filename(db, "main");
    std::lock_guard<std::mutex> lock(guard);
    if (!file || faultPath != file)
        return 0;
    const long index = counted++;
    if (index < faultSkip || (faultCount >= 0 && index >= faultSkip + faultCount))
        return 0;
    // Raised by SQLite, for its code and message on the connection.
    sqlite3_create_function(db, "trellan_fault", 1, SQLITE_UTF8, nullptr, Fail, nullptr, nullptr);
    sqlite3_stmt* raise = nullptr;
    sqlite3_prepare_v2(db, "SELECT trellan_fault(?1)", -1, &raise, nullptr);
    sqlite3_bind_int(raise, 1, faultCode);
    const int code = raise ? sqlite3_step(raise) : faultCode;
    sqlite3_finalize(raise);  // keeps the step's error on the connection
    return code == SQLITE_ROW || code == SQLITE_DONE ? faultCode : code;
}

}  // namespace platform::sqlite
