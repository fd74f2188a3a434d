// The library's class table: the WMFilter row and the end row.
#pragma once

#include "server_module.h"

namespace trellan {

extern ObjectMapEntry classTable[];

}  // namespace trellan
