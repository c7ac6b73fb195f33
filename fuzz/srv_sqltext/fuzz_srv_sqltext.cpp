// Random SQL text through the server layer's text helpers: the tokeniser
// (each delimiter set, brackets counted or not), the select-item and
// table-reference parsers, qualified names, identifier comparison and
// connect-string stripping, under every set of catalogue rules. The first
// byte picks the rules: qualifiers used and where, owners used, the quote,
// the case rules and the server kind.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/server/srv.h"

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
  err_clear();
  return 0;
}
