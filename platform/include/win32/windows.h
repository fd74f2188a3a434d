// Everything the Linux stand-in offers of the Windows API, in one include.
#pragma once

#include "types.h"
#include "errors.h"
#include "guid.h"
#include "kernel32.h"
#include "files.h"
#include "threads.h"
#include "ole32.h"
#include "filter.h"
#include "wmsdk.h"
#include "modules.h"
#include "user32.h"
#include "advapi32.h"
#include "oleaut32.h"
#include "resources.h"
#include "typelib.h"
#include "shell32.h"
