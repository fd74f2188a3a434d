// The oleaut32 subset: BSTRs, VarUI4FromStr, type libraries.
#pragma once

#include "ole32.h"
