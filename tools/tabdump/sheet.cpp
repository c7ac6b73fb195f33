// tabdump's workbook and worksheet commands (see sheet.h). The file is
// described under its type with the range and titles a Type clause would
// give, then opened with that field list and its rows printed; with --keep
// it is registered and the table opened from the new definition instead.
#include "tools/tabdump/sheet.h"

#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabtype.h"
#include "tools/tabdump/rows.h"

namespace {

// The Type clause of a Register Table statement for these options.
std::string type_clause(const SheetDumpOptions& o) {
  std::string c = std::string(" Type ") + (o.lotus ? "WKS" : "XLS");
  if (o.titles) c += " Titles";
  if (!o.range.empty()) c += " Range \"" + o.range + "\"";
  return c;
}

}  // namespace

int tabdump_sheet(const char* path, const SheetDumpOptions& o) {
  if (!o.keep.empty()) return tabdump_registered(path, type_clause(o), o.keep, false);
  TableDef* t = tabdef_new();
  const int32_t type = o.lotus ? TABTYPE_WKS : TABTYPE_XLS;
  t->storage.type = static_cast<uint8_t>(type);
  typeopts_init(&t->storage.options, type);
  auto* s = std::get_if<SheetOptions>(&t->storage.options);
  s->range = o.range;
  s->titles = o.titles ? 1 : 0;
  bool ok = tabtype_read_fields(path, t) != 0;
  if (ok) tabtype_close(&t->storage, nullptr);
  t->storage.field_count = t->field_count;
  ok = ok && tabtype_open(path, 0, &t->storage, type, &t->field_count, &t->fields) &&
       tabtype_begin_access(t, &t->storage, 1);
  if (!ok) {
    tabdef_free(t);
    return tabdump_fail();
  }
  tabdump_print_table(t, false);
  tabtype_end_access(&t->storage);
  tabtype_close(&t->storage, nullptr);
  tabdef_free(t);
  return 0;
}
