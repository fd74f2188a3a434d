// The registry on a command's first use: before `dump` and `index` filter
// anything, the filter that ships with the program is registered where the
// program's own registry has none for the media types, as an installer
// would have done.
#pragma once

namespace host {

// Registers the shipped filter module in the default registry when no
// filter is registered there for one of the media types, or when the
// registered module is no longer where the registry says, and says so once
// on standard error. A registry the user named is never changed: there it
// only says how to register. A default registry whose file cannot be kept
// is replaced by one in memory for this run, with word of where. Anything
// else that keeps the registry from use is left for the command to report.
void PrepareRegistryForFiltering();

}  // namespace host
