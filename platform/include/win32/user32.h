// The user32 subset: CharNextW.
#pragma once

#include "ole32.h"
