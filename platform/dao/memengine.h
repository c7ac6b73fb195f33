// An in-memory database engine behind the engine interfaces of dao.h: the
// engine the Access layer runs on wherever no real database file is read
// (creating tables, structure changes, writes, transactions, locks), and
// the one the tests drive.
//
// Databases live in the process, one per path; each has a placeholder file
// at its path whose modification time moves on by whole seconds at every
// committed change, so that callers watching the file see the change.
// Installed through the COM layer's backend hook (mem_dao_install). Every
// call is written to a log, its VARIANT arguments with their types.
//
// Rules: a missing database 3024, a wrong password 3031, a locked table
// opened for writing 3262, a missing item 3265, a duplicate in a unique
// index 3022, a read-only database or recordset 3027; the N-th call of a
// method from now can be made to fail with given errors; the engine classes
// can be made unavailable.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dao/dao.h"

// Installs the engine as the COM backend (answering the class ids it has
// been told to have) and resets it; mem_dao_uninstall puts the former
// backend back.
void mem_dao_install();
void mem_dao_uninstall();
// Every database, rule, counter and the log dropped.
void mem_dao_reset();

// Which engine classes exist (both by default).
void mem_dao_set_classes(bool current, bool older);
// The N-th call (1 = the next) of the named method ("OpenDatabase",
// "OpenRecordset", "Update", ...) fails with the given error number and,
// in the engine's error collection, these descriptions (in order).
void mem_dao_fail_call(const std::string& method, int32_t nth, int32_t number,
                       const std::vector<std::string>& descriptions);
// The select of query definitions returns its rows in descending key order.
void mem_dao_set_reversed(bool reversed);
// A table that another user holds: opening it other than read-only fails
// with 3262.
void mem_dao_set_locked(const std::string& path, const std::string& table, bool locked);

// The log: one line per engine call, e.g.
//   OpenDatabase("/d/x.mdb", VT_BOOL 0, VT_BOOL 0, VT_BSTR ";pwd=secret")
const std::vector<std::string>& mem_dao_log();
void mem_dao_clear_log();
// The log lines that start with the method name.
std::vector<std::string> mem_dao_log_of(const std::string& method);

// ---- building databases directly (tests, generators)
struct MemDaoColumn {
  std::string name;
  int16_t type = 0;
  int32_t size = 0;
  int32_t attributes = 0;
};
// A database at path (version "4.0" or "3.0", password empty for none);
// an existing one of that path is replaced.
bool mem_dao_create(const std::string& path, const std::string& version, const std::string& password);
bool mem_dao_add_table(const std::string& path, const std::string& table, const std::vector<MemDaoColumn>& columns);
// A unique (or not) index of the named columns.
bool mem_dao_add_index(const std::string& path, const std::string& table, const std::string& name,
                       const std::vector<std::string>& columns, bool unique, bool primary);
// A record; values by column, VT_EMPTY for an autoincrement column's next
// number; the VARIANTs are copied.
bool mem_dao_add_row(const std::string& path, const std::string& table, const std::vector<Variant>& values);
// Deletes the record whose column holds the 32-bit key.
bool mem_dao_delete_row(const std::string& path, const std::string& table, const std::string& column, int32_t key);
int32_t mem_dao_row_count(const std::string& path, const std::string& table);
// The columns of a table as the engine holds them.
std::vector<MemDaoColumn> mem_dao_columns(const std::string& path, const std::string& table);
// The indexes: name, unique, primary, fields joined with ",".
struct MemDaoIndexInfo {
  std::string name;
  bool unique = false;
  bool primary = false;
  std::string fields;
};
std::vector<MemDaoIndexInfo> mem_dao_indexes(const std::string& path, const std::string& table);
// The value of a column in the record at position (0-based, engine order).
bool mem_dao_value(const std::string& path, const std::string& table, int32_t position, const std::string& column,
                   Variant* out);
// Table attributes (0 for a user table; system tables have others).
bool mem_dao_set_table_attributes(const std::string& path, const std::string& table, int32_t attributes);
bool mem_dao_has_table(const std::string& path, const std::string& table);
// Open recordsets of the engine (a test seam for leaks).
int32_t mem_dao_open_recordsets();
