// Row texts as a table reader hands them to the uploader: the first bytes
// choose the server family and the column types, the rest is the row text.
// Every text either gives one parameter per column or a clear refusal; the
// registration table's text of the same bytes converts or is refused.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/RowValues.h"
#include "app/ServerTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upload;
  if (size < 4) return 0;
  static const int kTypes[] = {kValueChar,    kValueDecimal, kValueInteger, kValueSmallInt, kValueDate,
                               kValueLogical, kValueFloat,   kValueTime,    kValueDateTime, 99};
  SqlFamily f;
  f.sqlServer = data[0] & 1;
  f.access = data[0] & 2;
  f.oracle = data[0] & 4;
  f.informix = data[0] & 8;
  f.extension = data[0] & 16;
  std::vector<UploadColumn> columns;
  const int count = data[1] % 8;
  for (int i = 0; i < count; ++i)
    columns.push_back({i == 0 && (data[2] & 1) ? "qd_member" : "C" + std::to_string(i), kTypes[(data[2] + i) % 10],
                       10, 2});
  StatementSettings s;
  s.storageKind = 1 + data[3] % 3;
  s.mappable = data[3] & 4;
  s.styleEnabled = data[3] & 8;
  const ColumnPlan plan = PlanColumns(columns, s.mappable);
  RowContext ctx;
  ctx.family = &f;
  ctx.columns = &columns;
  ctx.plan = &plan;
  ctx.trailing = PlanTrailingParams(f, s);
  ctx.storageKind = s.storageKind;
  ctx.mappable = s.mappable;
  ctx.styleEnabled = s.styleEnabled;
  const std::string text(reinterpret_cast<const char*>(data) + 4, size - 4);
  RowObject object;
  object.noObject = data[3] & 16;
  object.styleClause = text.substr(0, text.size() / 2);
  std::vector<BoundValue> values;
  std::string error;
  if (!BuildRowValues(ctx, text, object, values, &error) && error.empty()) __builtin_trap();
  for (BoundValue& v : values) {
    if (v.Data() == nullptr && !v.null && v.cType != SQL_C_BINARY) __builtin_trap();
  }
  (void)ServerTableText(ServerTableLink{text, text, (data[0] & 32) != 0});
  return 0;
}
