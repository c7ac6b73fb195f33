// The test-only spy that once answered for stages not built yet. Every
// stage of the engine is built and no code reads the spy; it is defined
// only while a test still sets it.
#include "geometry/topology/qd_te_assembly.h"

TePendingSpy qd_te_pending_spy = {nullptr, nullptr};
