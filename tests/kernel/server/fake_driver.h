// A scripted server driver for tests, registered without a module through
// srv_register_driver_for_test: result columns and rows come from the
// script, any entry point can be made to fail with a code and texts, and
// every call is recorded by its entry-point name.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "kernel/server/srv.h"

namespace fake {

struct Column {
  std::string name;
  uint8_t type = 1;
  int32_t precision = 10;
  int32_t scale = 0;
  int32_t buffer_length = 64;
};

// One cell: NULL, text or bytes (types 1, 16, 17; Oracle objects 90 and
// 108 as raw bytes), a number, or the raw bytes of a Date, Time or DateTime
// record.
struct Cell {
  bool null = false;
  std::string bytes;
  double number = 0;
};

struct Failure {
  int16_t code = 0;
  std::string text1, text2;
};

struct Script {
  std::string name = "FAKE";
  std::string server_type = "Microsoft SQL Server";
  std::string version = "09.00.1399";
  std::vector<Column> columns;
  std::vector<std::vector<Cell>> rows;
  std::map<std::string, Failure> failures;  // by entry-point name
  Failure init_failure;                      // code 0: SrvInit succeeds
  std::vector<std::string> calls;
  int open_statements = 0;
  int open_connections = 0;
};

// The one script; Reset() gives a fresh one.
Script& Current();
void Reset();
// The driver's entry points.
const SrvFunctionTable& Table();
Cell Text(const std::string& s);
Cell Number(double d);
Cell Null();
// A fresh layer (unloaded, script reset, errors cleared) with the driver
// registered and one connection to it; null when that fails.
SrvConnection* FreshConnection();

}  // namespace fake
