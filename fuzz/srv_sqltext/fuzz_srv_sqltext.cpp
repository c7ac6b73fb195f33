// Random SQL text through the server layer's text helpers: the tokeniser
// (each delimiter set, brackets counted or not), the select-item and
// table-reference parsers, qualified names, identifier comparison and
// connect-string stripping, the select splitter, the first table of a
// table list, style clauses, and the literal writer over values read from
// the text and values made of its raw bytes, under every set of catalogue rules. The first
// byte picks the rules: qualifiers used and where, owners used, the quote,
// the case rules and the server kind.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"
#include "kernel/runtime/value.h"
#include "kernel/server/srv.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/server/srv_exec.h"
#include "kernel/server/srv_query.h"
#include "kernel/server/srv_select.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t rules = data[0];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  static const char* const kTypes[] = {"Microsoft SQL Server", "SQL Server QD", "IUS", "Oracle_Spatial",
                                       "ACCESS", "Informix", "HELVORISTAN/ORACLE", "Oracle SDO Server"};
  SrvConnection conn;
  std::memset(&conn, 0, sizeof conn);
  conn.qualifiers_used = rules & 1;
  conn.qualifier_first = (rules >> 1) & 1;
  conn.owners_used = (rules >> 2) & 1;
  std::strcpy(conn.quote, (rules >> 3) & 1 ? "\"" : "`");
  std::strcpy(conn.qualifier_separator, (rules >> 4) & 1 ? "." : "@");
  conn.identifier_case = (rules >> 5) & 1 ? 3 : 0;
  conn.quoted_identifier_case = 3;
  std::strcpy(conn.server_type, kTypes[(rules >> 5) & 7]);
  std::strcpy(conn.user, "u");
  std::strcpy(conn.default_schema, "dbo");
  conn.major_version = (rules & 0x80) ? 9 : 8;

  for (const char* delimiters : {",", " ", ";", ".", ",()"}) {
    for (int16_t brackets = 0; brackets < 2; ++brackets) {
      std::vector<char> buf(text.begin(), text.end());
      buf.push_back('\0');
      char* rest = buf.data();
      int guard = 0;
      while (srv_next_token(&rest, rest, delimiters, brackets) != nullptr && ++guard < 100000) {
      }
    }
  }
  SrvSelectItem item;
  srv_parse_select_item(&conn, &item, text.c_str());
  SrvTableRef ref;
  srv_parse_table_ref(&conn, &ref, text.c_str());
  srv_parse_table_ref_default(&conn, &ref, text.c_str());
  char name[300];
  srv_qualified_name(&conn, name, sizeof name, ref.qualifier, ref.owner, ref.table);
  srv_identifiers_equal(&conn, item.name, ref.table);
  (void)srv_strip_connect_options(text.c_str());
  char stripped[64];
  std::strncpy(stripped, text.c_str(), sizeof stripped - 1);
  stripped[sizeof stripped - 1] = '\0';
  srv_strip_connect_options(stripped, sizeof stripped);

  // A select text split into its parts, the first table of its table
  // list, and the text read as style clauses.
  {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back('\0');
    std::string select, from, where, rest;
    srv_split_select(buf.data(), &select, &from, &where, &rest);
    char first[kSrvTableRefTextSize];
    int16_t single = 0;
    srv_first_from_table(from.c_str(), first, &single);
    srv_first_from_table(text.c_str(), first, &single);
    if (std::strlen(first) >= sizeof first) __builtin_trap();
    StyleSet style;
    srv_parse_style_clauses(&style, text.c_str());
  }

  // Literals: the text read as each type, then written at every room size
  // up to its length (a literal that does not fit leaves out empty).
  std::vector<char> out(2 * text.size() + 64);
  for (int32_t type : {1, 2, 3, 4, 5, 6, 8, 37, 38, 39}) {
    Value v{};
    value_init(&v, type, nullptr);
    value_from_text(text.c_str(), type, static_cast<int32_t>(text.size()) + 1, 2, 1, &v, 0);
    for (int32_t room : {1, 8, 24, static_cast<int32_t>(out.size())}) {
      if (srv_value_literal(&conn, out.data(), &v, room, 2) && std::strlen(out.data()) >= static_cast<size_t>(room)) {
        __builtin_trap();
      }
    }
    value_free(&v);
  }
  // Dates, times and numbers of raw bytes.
  if (text.size() >= 10) {
    for (uint8_t type : {5, 8, 37, 38}) {
      Value raw{};
      raw.type = type;
      std::memcpy(raw.u.raw, text.data(), 10);
      srv_value_literal(&conn, out.data(), &raw, static_cast<int32_t>(out.size()), -1);
    }
  }
  err_clear();
  return 0;
}
