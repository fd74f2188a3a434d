// The registry that registering the filter must leave, read from the table
// that the Linux and the Windows tests share.
#pragma once

#include "support/script_fixture.h"

#include <string>
#include <vector>

namespace trellan::test {

// The expected HKCR snapshot (in Snapshot's form) for a module at
// `modulePath`, with every parent key of the listed keys.
RegistryMap ExpectedRegistration(const std::string& modulePath);

// The table's "@" rows: a PersistentHandler key that another product set
// before registration, the value in which registration keeps that handler,
// and the handler.
struct ReplacedHandler {
    std::string key;
    std::string savedName;
    std::string handler;
};
std::vector<ReplacedHandler> ReplacedHandlers();

// The keys that unregistration leaves: CLSID, the four extensions, and the
// TypeLib parent key that the platform keeps.
RegistryMap ExpectedAfterUnregistration();

}  // namespace trellan::test
