// A driver module fixture, built three ways: complete (every entry point;
// SrvInit names it "FIXTURE"), without SrvTableInfo (SRVFIX_MISSING), and
// with a SrvInit that fails with code 4321 and two texts (SRVFIX_INITFAIL).
#include <cstdio>

#include "kernel/server/srv_abi.h"

#define SRV_EXPORT extern "C" __attribute__((visibility("default")))

SRV_EXPORT int16_t SrvInit(SrvDriver* d) {
#ifdef SRVFIX_INITFAIL
  d->init_error = 4321;
  std::snprintf(d->init_text1, sizeof d->init_text1, "the fixture refuses to start");
  std::snprintf(d->init_text2, sizeof d->init_text2, "second text");
  return 0;
#else
  std::snprintf(d->name, sizeof d->name, "FIXTURE");
  return 1;
#endif
}
SRV_EXPORT int16_t SrvBeginTransaction(SrvConnection*) { return 1; }
SRV_EXPORT int16_t SrvBindColumn(SrvConnection*, SrvStatement*, SrvColumn*) { return 1; }
SRV_EXPORT int16_t SrvClose(SrvConnection*, SrvStatement*, int16_t) { return 1; }
SRV_EXPORT const char* SrvColumnAlias(SrvConnection*, SrvStatement*, int16_t) { return ""; }
SRV_EXPORT int16_t SrvColumnEditable(SrvConnection*, SrvStatement*, int16_t) { return 0; }
SRV_EXPORT const char* SrvColumnName(SrvConnection*, SrvStatement*, int16_t) { return ""; }
SRV_EXPORT int32_t SrvColumnPrecision(SrvConnection*, SrvStatement*, int16_t) { return 0; }
SRV_EXPORT int32_t SrvColumnScale(SrvConnection*, SrvStatement*, int16_t) { return 0; }
SRV_EXPORT uint8_t SrvColumnType(SrvConnection*, SrvStatement*, int16_t) { return 1; }
SRV_EXPORT int16_t SrvColumnValue(SrvConnection*, SrvStatement*, int16_t, Value*) { return 0; }
SRV_EXPORT int32_t SrvColumnWidth(SrvConnection*, SrvStatement*, int16_t) { return 0; }
SRV_EXPORT int16_t SrvCommit(SrvConnection*) { return 1; }
SRV_EXPORT int16_t SrvConnect(SrvConnection* c, const char*) {
  c->open = 1;
  return 1;
}
SRV_EXPORT int16_t SrvGetConnectOption(SrvConnection*, int32_t) { return 1; }
SRV_EXPORT int16_t SrvSetConnectOption(SrvConnection*, int32_t) { return 1; }
SRV_EXPORT int16_t SrvSources(char* buffer) {
  buffer[0] = '\0';
  return 1;
}
SRV_EXPORT int16_t SrvDBError(SrvConnection*, void*) { return 1; }
SRV_EXPORT int16_t SrvDisconnect(SrvConnection*) { return 1; }
SRV_EXPORT int16_t SrvExecute(SrvConnection*, SrvStatement*, const char*) { return 1; }
SRV_EXPORT int16_t SrvPrepare(SrvConnection*, SrvStatement*, const char*) { return 1; }
SRV_EXPORT int16_t SrvBindParm(SrvConnection*, SrvStatement*, SrvColumn*, int16_t) { return 1; }
SRV_EXPORT int16_t SrvExecutePrep(SrvConnection*, SrvStatement*) { return 1; }
SRV_EXPORT int16_t SrvFetch(SrvConnection* c, SrvStatement*, SrvColumn*, int32_t) {
  c->error_code = kSrvNoData;
  return 0;
}
SRV_EXPORT int16_t SrvIterateQualifiers(SrvConnection*, void*, void*, void*) { return 1; }
SRV_EXPORT int16_t SrvIterateOwners(SrvConnection*, void*, void*, void*) { return 1; }
SRV_EXPORT int16_t SrvIterateTables(SrvConnection*, void*, void*, void*, void*) { return 1; }
SRV_EXPORT int16_t SrvIterateColumns(SrvConnection*, void*, void*, void*, void*) { return 1; }
SRV_EXPORT int32_t SrvNumColumns(SrvConnection*, SrvStatement*) { return 0; }
SRV_EXPORT int16_t SrvRollback(SrvConnection*) { return 1; }
#ifndef SRVFIX_MISSING
SRV_EXPORT int16_t SrvTableInfo(SrvConnection*, void*) { return 1; }
#endif
SRV_EXPORT void SrvUnloadDriver() {}
