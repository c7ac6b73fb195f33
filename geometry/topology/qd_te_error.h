// The topology engine's error method: the door through which the geometry
// library's failure reports reach an installed handler.
#pragma once

#include <cstdint>

#include "geometry/qd_fail.h"

// The engine's name for the handler record.
typedef FailHandler TeCallback;

// Null handler: "UKT1M" and 0. With on_fail set and a code other than 1:
// on_fail(&{code, handler}, context) and its result. Otherwise 1.
int32_t qd_te_error_method(int32_t code, FailHandler* handler);
