// The registry that registering the filter must leave, read from the table
// that the Linux and the Windows tests share.
#pragma once

#include "script/script_fixture.h"

#include <string>

namespace trellan::test {

// The expected HKCR snapshot (in Snapshot's form) for a module at
// `modulePath`, with every parent key of the listed keys.
RegistryMap ExpectedRegistration(const std::string& modulePath);

// The keys that unregistration leaves: CLSID, the four extensions, and the
// TypeLib parent key that the platform keeps.
RegistryMap ExpectedAfterUnregistration();

}  // namespace trellan::test
