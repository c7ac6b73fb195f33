// The engine's error method. Compiled into ql_geometry, whose fail routine
// calls it; the rest of the engine links ql_geometry.
#include "geometry/topology/qd_te_error.h"

int32_t qd_te_error_method(int32_t code, FailHandler* handler) {
    if (!handler) {
        QD_FAIL("UKT1M", "function%s", "qd_te_error_method", nullptr);
        return 0;
    }
    if (handler->on_fail && code != 1) {
        FailEvent event = {code, handler};
        return handler->on_fail(&event, handler->context);
    }
    return 1;
}
