// The kernel32 module functions: loading libraries, module names and handles, resources, text conversion.
#pragma once

#include "ole32.h"
