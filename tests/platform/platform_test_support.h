// Helpers of the platform tests: files, a scratch directory, owned
// COM pointers and BSTRs, and a text snapshot of the registry.
#pragma once

#include "support/text.h"
#include "winapi.h"

#include <win32/registry_control.h>
#include <win32/seams.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace trellan::test {

std::vector<BYTE> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<BYTE>& bytes);

// A directory of its own for one test, removed with everything in it.
class ScratchDirectory {
public:
    ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory();
    std::string Path(const std::string& name) const { return directory + "/" + name; }

private:
    std::string directory;
};

struct ReleaseInterface {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using Owned = std::unique_ptr<Interface, ReleaseInterface>;

struct FreeBstr {
    void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, FreeBstr>;

// The BSTR's text, or "<null>".
std::string Text(BSTR text);

// Every key under `root` as "path" lines and every value as
// "path|name|type|data" lines, sorted.
std::vector<std::string> RegistrySnapshot(HKEY root);

// The default value of HKCR\<path>, or "<missing>".
std::string DefaultValue(const std::u16string& path);
bool KeyExists(const std::u16string& path);

// Each test starts with an empty in-memory registry.
class FreshRegistry : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace trellan::test
