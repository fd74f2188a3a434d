// Key and value names as the database keeps them.
#pragma once

#include <string>
#include <string_view>

namespace platform::registry {

// The name as written: UTF-16LE bytes.
std::string NameBytes(std::u16string_view name);
std::u16string NameFromBytes(const std::string& bytes);

// The name folded to upper case, as UTF-16BE bytes: equal for names that
// differ only in letter case, and ordered by code unit.
std::string FoldedBytes(std::u16string_view name);

}  // namespace platform::registry
