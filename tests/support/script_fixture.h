// Runs registry scripts against a fresh in-memory registry and reads the
// registry back as a flat map, for comparisons.
#pragma once

#include "support/registry_fixture.h"
#include "script_parser.h"

#include <map>
#include <string>

namespace trellan::test {

// Every key under `root` as "PREFIX\path" -> "key", every value as
// "PREFIX\path:name" -> "sz:text", "dword:N", "binary:0a1b" or "type N:hex".
// The default value's name is "@".
using RegistryMap = std::map<std::string, std::string>;
RegistryMap Snapshot(HKEY root, const std::string& prefix = "HKCR");

// Runs the UTF-8 script text through the top-level walk.
HRESULT RunScript(const std::string& text, bool registerMode);

// A text in the form the CLI prints: "S_OK", "DISP_E_EXCEPTION", ... or hex.
std::string StatusText(HRESULT status);

class ScriptTest : public MemoryRegistryTest {};

}  // namespace trellan::test
