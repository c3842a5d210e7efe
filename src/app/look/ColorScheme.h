#pragma once

// The scheme is the appearance service's answer; views use the same type.
#include "platform/ColorScheme.h"
