// The table of server detectors, in the order they are tried.
#include "kernel/server/srv_detect.h"

#include "kernel/server/srv_ifx.h"
#include "kernel/server/srv_ora.h"
#include "kernel/server/srv_sdorel.h"
#include "kernel/server/srv_spx.h"
#include "kernel/server/srv_sqs.h"

const SrvDetector g_srv_detectors[] = {
    {"ora_detect_spatial", ora_detect_spatial},
    {"sdorel_detect", sdorel_detect},
    {"spx_is_oracle_extension", spx_is_oracle_extension},
    {"ifx_detect", ifx_detect},
    {"sqs_detect", sqs_detect},
    {nullptr, nullptr},
};
