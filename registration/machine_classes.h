// The machine's classes, HKEY_LOCAL_MACHINE\Software\Classes, where the
// filter registers. The indexer runs as the system and reads these only;
// HKEY_CLASSES_ROOT would send a write to the user's classes wherever the
// user has the key (media players make ".mp3" keys there), out of its sight.
#pragma once

#include "key_holder.h"

namespace trellan {

// The folder of the system's classes below HKEY_LOCAL_MACHINE.
extern const WCHAR machineClassesPath[];

// Opens the machine's classes for all access, else for reading, with
// `view` (KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0) added. Answers the
// registry's error.
LONG OpenMachineClasses(KeyHolder& classes, REGSAM view = 0);

}  // namespace trellan
