// The table of server detectors, in the order they are tried.
#include "kernel/server/srv_detect.h"

#include "kernel/server/srv_ora.h"

const SrvDetector g_srv_detectors[] = {
    {"ora_detect_spatial", ora_detect_spatial},
    {nullptr, nullptr},
};
