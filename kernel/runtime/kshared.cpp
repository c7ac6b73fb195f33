// Storage of the process-wide kernel flags.
#include "kernel/runtime/kshared.h"

KernelShared g_kshared{};

void kshared_reset() { g_kshared = KernelShared{}; }
