// Server detection for every spatial server kind: the detectors in the order
// they are tried on a new connection.
#pragma once

#include <cstdint>

#include "kernel/server/srv.h"

struct SrvDetector {
  const char* name;
  int16_t (*detect)(SrvConnection* conn);
};

// The detectors, ended by an entry with a null name.
extern const SrvDetector g_srv_detectors[];
