// The server-driver layer without server access: no connection, no row.
#include "kernel/server/srv.h"

#include <cstring>

SrvConnection* srv_open_connection(const char*, const char*) { return nullptr; }
void srv_close_connection(SrvConnection*) {}

std::string srv_strip_connect_options(const char* connect) {
  // Options this system adds to a connect string follow a ";QL_" item.
  std::string text = connect != nullptr ? connect : "";
  const size_t at = text.find(";QL_");
  if (at != std::string::npos) text.erase(at);
  return text;
}

int16_t srv_execute(SrvConnection*, const char*) { return 0; }
int16_t srv_fetch(SrvConnection*) { return 0; }
int16_t ora_is_oracle_server(const SrvConnection*) { return 0; }
