// The advapi32 subset: the registry.
#pragma once

#include "ole32.h"
