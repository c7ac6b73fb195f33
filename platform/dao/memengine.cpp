// The in-memory database engine (see memengine.h).
#include "platform/dao/memengine.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>

namespace {

// ---- stored values -----------------------------------------------------------

struct Val {
  Variant v;
  Val() { VariantInit(&v); }
  explicit Val(const Variant& src) {
    VariantInit(&v);
    VariantCopy(&v, &src);
  }
  Val(const Val& o) {
    VariantInit(&v);
    VariantCopy(&v, &o.v);
  }
  Val& operator=(const Val& o) {
    if (this != &o) VariantCopy(&v, &o.v);
    return *this;
  }
  ~Val() { VariantClear(&v); }
  bool null() const { return v.vt == VT_NULL || v.vt == VT_EMPTY; }
};

struct MField {
  std::string name;
  int16_t type = 0;
  int32_t size = 0;
  int32_t attributes = 0;
  bool required = false;
};

struct MIndex {
  std::string name;
  bool unique = false, primary = false, required = false, ignore_nulls = false;
  std::vector<std::string> fields;
};

struct MRecord {
  int64_t id = 0;
  std::vector<Val> values;
};

struct MTable {
  std::string name;
  int32_t attributes = 0;
  std::vector<MField> fields;
  std::vector<MIndex> indexes;
  std::vector<MRecord> rows;
  int32_t next_auto = 1;
  bool locked = false;
};

struct MDb {
  std::string path;
  std::string password;
  std::string version = "4.0";
  std::vector<MTable> tables;
  std::vector<std::vector<MTable>> transactions;
  int64_t next_record = 1;
  std::map<std::string, int32_t> open_sets;  // open table recordsets by lower-case table name
};

struct Rule {
  std::string method;
  int32_t nth = 0;
  int32_t number = 0;
  std::vector<std::string> descriptions;
};

struct EngineState {
  bool has_current = true, has_older = true;
  bool reversed = false;
  bool logging = true;
  std::map<std::string, std::shared_ptr<MDb>> dbs;
  std::vector<std::string> log;
  std::vector<Rule> rules;
  std::vector<std::pair<int32_t, std::string>> errors;
  int32_t open_recordsets = 0;
  ComBackend* former = nullptr;
  bool installed = false;
};
EngineState g_eng;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool same_name(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

std::string bstr_text(BSTR b) { return b == nullptr ? std::string() : std::string(b, SysStringByteLen(b)); }

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// Logs a call and answers the failure a rule gives it (0 when none).
HRESULT call(const std::string& method, const std::vector<std::string>& args) {
  if (g_eng.logging) {
    std::string line = method + "(";
    for (size_t i = 0; i < args.size(); ++i) line += (i ? ", " : "") + args[i];
    g_eng.log.push_back(line + ")");
  }
  for (auto it = g_eng.rules.begin(); it != g_eng.rules.end(); ++it) {
    if (it->method != method) continue;
    if (--it->nth > 0) continue;
    g_eng.errors.clear();
    for (const auto& d : it->descriptions) g_eng.errors.emplace_back(it->number, d);
    const HRESULT h = dao_hresult(it->number);
    g_eng.rules.erase(it);
    return h;
  }
  return kHrOk;
}

HRESULT fail(int32_t number, const std::string& description) {
  g_eng.errors.clear();
  g_eng.errors.emplace_back(number, description);
  return dao_hresult(number);
}

HRESULT out_bstr(const std::string& s, BSTR* out) {
  *out = SysAllocStringByteLen(s.data(), static_cast<uint32_t>(s.size()));
  return *out != nullptr ? kHrOk : kHrOutOfMemory;
}

bool variant_int(const Variant& v, int64_t* out) {
  switch (v.vt) {
    case VT_I2: *out = v.iVal; return true;
    case VT_I4: *out = v.lVal; return true;
    case VT_UI1: *out = v.bVal; return true;
    case VT_BOOL: *out = v.boolVal; return true;
    default: return false;
  }
}

bool variant_number(const Variant& v, double* out) {
  int64_t n = 0;
  if (variant_int(v, &n)) return *out = static_cast<double>(n), true;
  switch (v.vt) {
    case VT_R4: *out = v.fltVal; return true;
    case VT_R8: *out = v.dblVal; return true;
    case VT_CY: *out = static_cast<double>(v.cyVal) / 10000.0; return true;
    case VT_DATE: *out = v.date; return true;
    default: return false;
  }
}

// Orders two stored values (numbers by value, texts without regard to case).
int compare_values(const Variant& a, const Variant& b) {
  const bool an = a.vt == VT_NULL || a.vt == VT_EMPTY, bn = b.vt == VT_NULL || b.vt == VT_EMPTY;
  if (an || bn) return an == bn ? 0 : an ? -1 : 1;
  if (a.vt == VT_BSTR && b.vt == VT_BSTR) return strcasecmp(a.bstrVal, b.bstrVal);
  double x = 0, y = 0;
  if (variant_number(a, &x) && variant_number(b, &y)) return x < y ? -1 : x > y ? 1 : 0;
  return 0;
}

void touch(MDb& db) {
  if (!db.transactions.empty()) return;
  struct stat st;
  if (stat(db.path.c_str(), &st) != 0) return;
  struct timespec times[2];
  times[0].tv_sec = st.st_mtim.tv_sec + 1;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  utimensat(AT_FDCWD, db.path.c_str(), times, 0);
}

bool write_placeholder(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fputs("in-memory database\n", f);
  std::fclose(f);
  return true;
}

MTable* find_table(MDb& db, const std::string& name) {
  for (auto& t : db.tables) {
    if (same_name(t.name, name)) return &t;
  }
  return nullptr;
}

int find_field(const MTable& t, const std::string& name) {
  for (size_t i = 0; i < t.fields.size(); ++i) {
    if (same_name(t.fields[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

HRESULT no_item(const std::string& name) { return fail(kDaoNoItem, "Item not found in this collection: " + name); }

// Converts a value for a column of the type; false when it cannot be held.
bool coerce(const MField& f, const Variant& in, Variant* out) {
  VariantInit(out);
  if (in.vt == VT_NULL || in.vt == VT_EMPTY) {
    out->vt = VT_NULL;
    return true;
  }
  double d = 0;
  const bool num = variant_number(in, &d);
  switch (f.type) {
    case dbBoolean: if (!num) return false; out->vt = VT_BOOL; out->boolVal = d != 0 ? -1 : 0; return true;
    case dbByte: if (!num || d < 0 || d > 255) return false; out->vt = VT_UI1; out->bVal = static_cast<uint8_t>(d); return true;
    case dbInteger: if (!num || d < -32768 || d > 32767) return false; out->vt = VT_I2; out->iVal = static_cast<int16_t>(d); return true;
    case dbLong: if (!num || d < -2147483648.0 || d > 2147483647.0) return false; out->vt = VT_I4; out->lVal = static_cast<int32_t>(d); return true;
    case dbCurrency:
      if (in.vt == VT_CY) return out->vt = VT_CY, out->cyVal = in.cyVal, true;
      if (!num || !(d > -9.2e14 && d < 9.2e14)) return false;
      out->vt = VT_CY;
      out->cyVal = static_cast<int64_t>(d * 10000.0);
      return true;
    case dbSingle: if (!num) return false; out->vt = VT_R4; out->fltVal = static_cast<float>(d); return true;
    case dbDouble: if (!num) return false; out->vt = VT_R8; out->dblVal = d; return true;
    case dbDate: if (!num) return false; out->vt = VT_DATE; out->date = d; return true;
    case dbText: case dbMemo:
      if (in.vt != VT_BSTR) return false;
      if (f.type == dbText && f.size > 0 && SysStringByteLen(in.bstrVal) > static_cast<uint32_t>(f.size)) return false;
      return VariantCopy(out, &in) == kHrOk;
    case dbBigInt: if (!num) return false; out->vt = VT_R8; out->dblVal = d; return true;
    default: return VariantCopy(out, &in) == kHrOk;
  }
}

// Whether a record's values break a unique index against the other records.
bool breaks_unique(const MTable& t, const MRecord& r, int64_t skip_id) {
  for (const auto& ix : t.indexes) {
    if (!ix.unique) continue;
    std::vector<int> cols;
    for (const auto& n : ix.fields) cols.push_back(find_field(t, n));
    bool has_null = false;
    for (int c : cols) has_null = has_null || c < 0 || r.values[static_cast<size_t>(c)].null();
    if (has_null) continue;
    for (const auto& o : t.rows) {
      if (o.id == skip_id) continue;
      bool same = true;
      for (int c : cols) same = same && compare_values(o.values[static_cast<size_t>(c)].v, r.values[static_cast<size_t>(c)].v) == 0;
      if (same) return true;
    }
  }
  return false;
}

HRESULT duplicate() { return fail(kDaoNoUnique, "A unique index would hold the same value twice."); }

// ---- objects --------------------------------------------------------------------

struct MemError : DaoError {
  int32_t number;
  std::string text;
  MemError(int32_t n, std::string t) : number(n), text(std::move(t)) {}
  HRESULT get_Description(BSTR* out) override {
    if (HRESULT h = call("Error.get_Description", {})) return h;
    return out_bstr(text, out);
  }
  HRESULT get_Number(int32_t* out) override { return *out = number, kHrOk; }
};

struct MemErrors : DaoErrors {
  std::vector<std::pair<int32_t, std::string>> list = g_eng.errors;
  HRESULT get_Count(int16_t* out) override {
    if (HRESULT h = call("Errors.get_Count", {})) return h;
    return *out = static_cast<int16_t>(list.size()), kHrOk;
  }
  HRESULT get_Item(const Variant& item, DaoError** out) override {
    *out = nullptr;
    if (HRESULT h = call("Errors.get_Item", {dao_variant_text(item)})) return h;
    int64_t n = -1;
    if (!variant_int(item, &n) || n < 0 || n >= static_cast<int64_t>(list.size())) return no_item("error");
    *out = new MemError(list[static_cast<size_t>(n)].first, list[static_cast<size_t>(n)].second);
    return kHrOk;
  }
  HRESULT Append(ComObject*) override { return fail(kDaoBadArgument, "Errors cannot be appended."); }
  HRESULT Delete(BSTR) override { return fail(kDaoBadArgument, "Errors cannot be deleted."); }
  HRESULT Refresh() override { return kHrOk; }
};

// The position of a collection item: by number or by name.
template <class Names>
int item_position(const Variant& item, const Names& names, size_t count) {
  int64_t n = -1;
  if (variant_int(item, &n)) return n >= 0 && n < static_cast<int64_t>(count) ? static_cast<int>(n) : -1;
  if (item.vt != VT_BSTR) return -1;
  const std::string name = bstr_text(item.bstrVal);
  for (size_t i = 0; i < count; ++i) {
    if (same_name(names(i), name)) return static_cast<int>(i);
  }
  return -1;
}

struct MemTableDef;

// A field of a table definition (detached: its own record; bound: the
// column of a live table), of an index, or of a recordset.
struct MemRecordset;
struct MemField : DaoField {
  enum Kind { DETACHED, COLUMN, RECORD } kind = DETACHED;
  MField own;                 // DETACHED
  std::shared_ptr<MDb> db;    // COLUMN, RECORD
  std::string table;          // COLUMN
  int ordinal = 0;            // COLUMN, RECORD
  MemRecordset* set = nullptr;  // RECORD (holds a reference)
  ~MemField() override;
  MField* def();
  HRESULT get_Type(int16_t* out) override {
    MField* f = def();
    if (f == nullptr) return no_item("field");
    return *out = f->type, kHrOk;
  }
  HRESULT get_Name(BSTR* out) override {
    MField* f = def();
    if (f == nullptr) return no_item("field");
    return out_bstr(f->name, out);
  }
  HRESULT get_Size(int32_t* out) override {
    MField* f = def();
    if (f == nullptr) return no_item("field");
    return *out = f->size, kHrOk;
  }
  HRESULT get_Value(Variant* out) override;
  HRESULT put_Value(const Variant& value) override;
  HRESULT get_Attributes(int32_t* out) override {
    MField* f = def();
    if (f == nullptr) return no_item("field");
    return *out = f->attributes, kHrOk;
  }
  HRESULT put_Attributes(int32_t value) override {
    if (HRESULT h = call("Field.put_Attributes", {std::to_string(value)})) return h;
    if (kind != DETACHED) return fail(kDaoReadOnly, "Database or object is read-only (put_Attributes)");
    own.attributes = value;
    return kHrOk;
  }
  HRESULT put_Required(int16_t value) override {
    if (HRESULT h = call("Field.put_Required", {std::to_string(value)})) return h;
    if (kind != DETACHED) return fail(kDaoReadOnly, "Database or object is read-only (put_Required)");
    own.required = value != 0;
    return kHrOk;
  }
  HRESULT get_CollectionIndex(int16_t* out) override { return *out = static_cast<int16_t>(ordinal), kHrOk; }
};

// Field collections: of a detached definition (fields owned here), of a
// live table, of an index, of a recordset.
struct MemFields : DaoFields {
  enum Kind { OWNED, TABLE, RECORD } kind = OWNED;
  std::vector<MField>* owned = nullptr;  // OWNED: points into the owner (which this references)
  ComObject* owner = nullptr;
  std::shared_ptr<MDb> db;
  std::string table;
  MemRecordset* set = nullptr;
  ~MemFields() override {
    if (owner != nullptr) owner->Release();
  }
  std::vector<MField>* list();
  HRESULT get_Count(int16_t* out) override {
    if (HRESULT h = call("Fields.get_Count", {})) return h;
    auto* l = list();
    if (l == nullptr) return no_item(table);
    return *out = static_cast<int16_t>(l->size()), kHrOk;
  }
  HRESULT get_Item(const Variant& item, DaoField** out) override;
  HRESULT Append(ComObject* object) override;
  HRESULT Delete(BSTR name) override;
  HRESULT Refresh() override { return call("Fields.Refresh", {}); }
};

struct MemIndex : DaoIndex {
  MIndex own;                // detached
  std::shared_ptr<MDb> db;   // bound
  std::string table;
  std::string bound_name;
  bool bound = false;
  MIndex* def() {
    if (!bound) return &own;
    MTable* t = find_table(*db, table);
    if (t == nullptr) return nullptr;
    for (auto& ix : t->indexes) {
      if (same_name(ix.name, bound_name)) return &ix;
    }
    return nullptr;
  }
  HRESULT detached_only(const char* what) {
    return bound ? fail(kDaoReadOnly, std::string("Database or object is read-only (") + what + ")") : kHrOk;
  }
  HRESULT get_Name(BSTR* out) override {
    MIndex* i = def();
    return i == nullptr ? no_item(bound_name) : out_bstr(i->name, out);
  }
  HRESULT get_Unique(int16_t* out) override {
    MIndex* i = def();
    return i == nullptr ? no_item(bound_name) : (*out = i->unique ? -1 : 0, kHrOk);
  }
  HRESULT put_Unique(int16_t v) override {
    if (HRESULT h = call("Index.put_Unique", {std::to_string(v)})) return h;
    if (HRESULT h = detached_only("put_Unique")) return h;
    return own.unique = v != 0, kHrOk;
  }
  HRESULT put_Primary(int16_t v) override {
    if (HRESULT h = call("Index.put_Primary", {std::to_string(v)})) return h;
    if (HRESULT h = detached_only("put_Primary")) return h;
    return own.primary = v != 0, kHrOk;
  }
  HRESULT put_Required(int16_t v) override {
    if (HRESULT h = call("Index.put_Required", {std::to_string(v)})) return h;
    if (HRESULT h = detached_only("put_Required")) return h;
    return own.required = v != 0, kHrOk;
  }
  HRESULT put_IgnoreNulls(int16_t v) override {
    if (HRESULT h = call("Index.put_IgnoreNulls", {std::to_string(v)})) return h;
    if (HRESULT h = detached_only("put_IgnoreNulls")) return h;
    return own.ignore_nulls = v != 0, kHrOk;
  }
  HRESULT get_Fields(Variant* out) override;
  HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, DaoField** out) override {
    *out = nullptr;
    if (HRESULT h = call("Index.CreateField", {dao_variant_text(name), dao_variant_text(type), dao_variant_text(size)}))
      return h;
    if (name.vt != VT_BSTR) return fail(kDaoBadArgument, "A field needs a name.");
    auto* f = new MemField;
    f->own.name = bstr_text(name.bstrVal);
    int64_t t = 0;
    if (variant_int(type, &t)) f->own.type = static_cast<int16_t>(t);
    *out = f;
    return kHrOk;
  }
};

// An index's field list: names only.
struct MemIndexFields : DaoFields {
  MemIndex* index;  // referenced
  explicit MemIndexFields(MemIndex* i) : index(i) { index->AddRef(); }
  ~MemIndexFields() override { index->Release(); }
  HRESULT get_Count(int16_t* out) override {
    MIndex* i = index->def();
    return i == nullptr ? no_item("index") : (*out = static_cast<int16_t>(i->fields.size()), kHrOk);
  }
  HRESULT get_Item(const Variant& item, DaoField** out) override {
    *out = nullptr;
    if (HRESULT h = call("IndexFields.get_Item", {dao_variant_text(item)})) return h;
    MIndex* i = index->def();
    if (i == nullptr) return no_item("index");
    const int p = item_position(item, [&](size_t k) { return i->fields[k]; }, i->fields.size());
    if (p < 0) return no_item("field");
    auto* f = new MemField;
    f->own.name = i->fields[static_cast<size_t>(p)];
    f->own.type = dbLong;
    f->ordinal = p;
    *out = f;
    return kHrOk;
  }
  HRESULT Append(ComObject* object) override {
    if (HRESULT h = call("IndexFields.Append", {})) return h;
    auto* f = dynamic_cast<MemField*>(object);
    if (f == nullptr || index->bound) return fail(kDaoBadArgument, "Not a field of a new index.");
    index->own.fields.push_back(f->own.name);
    return kHrOk;
  }
  HRESULT Delete(BSTR) override { return fail(kDaoReadOnly, "Database or object is read-only (Delete)"); }
  HRESULT Refresh() override { return call("IndexFields.Refresh", {}); }
};

HRESULT MemIndex::get_Fields(Variant* out) {
  VariantInit(out);
  if (HRESULT h = call("Index.get_Fields", {})) return h;
  out->vt = VT_DISPATCH;
  out->pdispVal = new MemIndexFields(this);
  return kHrOk;
}

struct MemIndexes : DaoIndexes {
  std::vector<MIndex>* owned = nullptr;
  ComObject* owner = nullptr;
  std::shared_ptr<MDb> db;
  std::string table;
  ~MemIndexes() override {
    if (owner != nullptr) owner->Release();
  }
  std::vector<MIndex>* list() {
    if (owned != nullptr) return owned;
    MTable* t = find_table(*db, table);
    return t != nullptr ? &t->indexes : nullptr;
  }
  HRESULT get_Count(int16_t* out) override {
    if (HRESULT h = call("Indexes.get_Count", {})) return h;
    auto* l = list();
    return l == nullptr ? no_item(table) : (*out = static_cast<int16_t>(l->size()), kHrOk);
  }
  HRESULT get_Item(const Variant& item, DaoIndex** out) override {
    *out = nullptr;
    if (HRESULT h = call("Indexes.get_Item", {dao_variant_text(item)})) return h;
    auto* l = list();
    if (l == nullptr) return no_item(table);
    const int p = item_position(item, [&](size_t k) { return (*l)[k].name; }, l->size());
    if (p < 0) return no_item(item.vt == VT_BSTR ? bstr_text(item.bstrVal) : "index");
    auto* ix = new MemIndex;
    if (owned != nullptr) {
      ix->own = (*l)[static_cast<size_t>(p)];
    } else {
      ix->bound = true;
      ix->db = db;
      ix->table = table;
      ix->bound_name = (*l)[static_cast<size_t>(p)].name;
    }
    *out = ix;
    return kHrOk;
  }
  HRESULT Append(ComObject* object) override {
    if (HRESULT h = call("Indexes.Append", {})) return h;
    auto* ix = dynamic_cast<MemIndex*>(object);
    if (ix == nullptr || ix->bound) return fail(kDaoBadArgument, "Not a new index.");
    auto* l = list();
    if (l == nullptr) return no_item(table);
    for (const auto& o : *l) {
      if (same_name(o.name, ix->own.name)) return fail(3284, "The index already exists: " + o.name);
    }
    if (ix->own.fields.empty()) return fail(3283, "An index needs a field.");
    if (owned == nullptr) {
      MTable* t = find_table(*db, table);
      if (db->open_sets[lower(table)] > 0) return fail(3211, "The table is in use: " + table);
      for (const auto& n : ix->own.fields) {
        if (find_field(*t, n) < 0) return fail(3264, "No field of that name: " + n);
      }
      MTable trial = *t;
      trial.indexes.assign(1, ix->own);
      for (const auto& r : trial.rows) {
        if (breaks_unique(trial, r, r.id)) return duplicate();
      }
      t->indexes.push_back(ix->own);
      touch(*db);
    } else {
      l->push_back(ix->own);
    }
    return kHrOk;
  }
  HRESULT Delete(BSTR name) override {
    const std::string n = bstr_text(name);
    if (HRESULT h = call("Indexes.Delete", {quoted(n)})) return h;
    auto* l = list();
    if (l == nullptr) return no_item(table);
    if (owned == nullptr && db->open_sets[lower(table)] > 0) return fail(3211, "The table is in use: " + table);
    for (auto it = l->begin(); it != l->end(); ++it) {
      if (same_name(it->name, n)) {
        l->erase(it);
        if (owned == nullptr) touch(*db);
        return kHrOk;
      }
    }
    return no_item(n);
  }
  HRESULT Refresh() override { return call("Indexes.Refresh", {}); }
};

struct MemTableDef : DaoTableDef {
  MTable own;  // detached
  std::shared_ptr<MDb> db;
  std::string bound_name;  // bound when not empty
  bool bound() const { return !bound_name.empty(); }
  MTable* def() { return bound() ? find_table(*db, bound_name) : &own; }
  HRESULT get_Attributes(int32_t* out) override {
    MTable* t = def();
    return t == nullptr ? no_item(bound_name) : (*out = t->attributes, kHrOk);
  }
  HRESULT get_Name(BSTR* out) override {
    MTable* t = def();
    return t == nullptr ? no_item(bound_name) : out_bstr(t->name, out);
  }
  HRESULT put_Name(BSTR name) override {
    const std::string n = bstr_text(name);
    if (HRESULT h = call("TableDef.put_Name", {quoted(n)})) return h;
    MTable* t = def();
    if (t == nullptr) return no_item(bound_name);
    if (bound()) {
      if (db->open_sets[lower(bound_name)] > 0) return fail(3211, "The table is in use: " + bound_name);
      MTable* other = find_table(*db, n);
      if (other != nullptr && other != t) return fail(3012, "The table already exists: " + n);
      t->name = n;
      bound_name = n;
      touch(*db);
    } else {
      t->name = n;
    }
    return kHrOk;
  }
  HRESULT get_Fields(DaoFields** out) override {
    if (HRESULT h = call("TableDef.get_Fields", {})) return h;
    auto* f = new MemFields;
    if (bound()) {
      f->kind = MemFields::TABLE;
      f->db = db;
      f->table = bound_name;
    } else {
      f->kind = MemFields::OWNED;
      f->owned = &own.fields;
      f->owner = this;
      AddRef();
    }
    *out = f;
    return kHrOk;
  }
  HRESULT get_Indexes(DaoIndexes** out) override {
    if (HRESULT h = call("TableDef.get_Indexes", {})) return h;
    auto* ix = new MemIndexes;
    if (bound()) {
      ix->db = db;
      ix->table = bound_name;
    } else {
      ix->owned = &own.indexes;
      ix->owner = this;
      AddRef();
    }
    *out = ix;
    return kHrOk;
  }
  HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, DaoField** out) override {
    *out = nullptr;
    if (HRESULT h =
            call("TableDef.CreateField", {dao_variant_text(name), dao_variant_text(type), dao_variant_text(size)}))
      return h;
    int64_t t = 0, s = 0;
    if (name.vt != VT_BSTR || !variant_int(type, &t)) return fail(kDaoBadArgument, "A field needs a name and a type.");
    auto* f = new MemField;
    f->own.name = bstr_text(name.bstrVal);
    f->own.type = static_cast<int16_t>(t);
    if (variant_int(size, &s)) f->own.size = static_cast<int32_t>(s);
    else if (t == dbText) f->own.size = 50;
    if (f->own.size == 0) {
      static const int32_t kSizes[] = {0, 1, 1, 2, 4, 8, 4, 8, 8, 0, 0, 0, 0};
      if (t >= 0 && t <= 12) f->own.size = kSizes[t];
      if (t == dbBigInt) f->own.size = 8;
    }
    *out = f;
    return kHrOk;
  }
  HRESULT CreateIndex(const Variant& name, DaoIndex** out) override {
    *out = nullptr;
    if (HRESULT h = call("TableDef.CreateIndex", {dao_variant_text(name)})) return h;
    if (name.vt != VT_BSTR) return fail(kDaoBadArgument, "An index needs a name.");
    auto* ix = new MemIndex;
    ix->own.name = bstr_text(name.bstrVal);
    *out = ix;
    return kHrOk;
  }
};

HRESULT MemFields::Append(ComObject* object) {
  if (HRESULT h = call("Fields.Append", {})) return h;
  auto* f = dynamic_cast<MemField*>(object);
  if (f == nullptr || f->kind != MemField::DETACHED || kind == RECORD)
    return fail(kDaoBadArgument, "Not a new field.");
  auto* l = list();
  if (l == nullptr) return no_item(table);
  for (const auto& o : *l) {
    if (same_name(o.name, f->own.name)) return fail(3191, "The field is defined twice: " + o.name);
  }
  if (kind == TABLE) {
    MTable* t = find_table(*db, table);
    if (db->open_sets[lower(table)] > 0) return fail(3211, "The table is in use: " + table);
    const bool counter = f->own.type == dbLong && (f->own.attributes & dbAutoIncrField) != 0;
    int32_t next = 1;
    for (auto& r : t->rows) {
      Val v;
      if (counter) {
        v.v.vt = VT_I4;
        v.v.lVal = next++;
      } else {
        v.v.vt = VT_NULL;
      }
      r.values.push_back(v);
    }
    if (counter) t->next_auto = std::max(t->next_auto, next);
    t->fields.push_back(f->own);
    f->ordinal = static_cast<int>(t->fields.size()) - 1;
    touch(*db);
  } else {
    f->ordinal = static_cast<int>(l->size());
    l->push_back(f->own);
  }
  return kHrOk;
}

HRESULT MemFields::Delete(BSTR name) {
  const std::string n = bstr_text(name);
  if (HRESULT h = call("Fields.Delete", {quoted(n)})) return h;
  if (kind == RECORD) return fail(kDaoReadOnly, "Database or object is read-only (Delete)");
  auto* l = list();
  if (l == nullptr) return no_item(table);
  int p = -1;
  for (size_t i = 0; i < l->size(); ++i) {
    if (same_name((*l)[i].name, n)) p = static_cast<int>(i);
  }
  if (p < 0) return no_item(n);
  if (kind == TABLE) {
    MTable* t = find_table(*db, table);
    if (db->open_sets[lower(table)] > 0) return fail(3211, "The table is in use: " + table);
    for (const auto& ix : t->indexes) {
      for (const auto& fn : ix.fields) {
        if (same_name(fn, n)) return fail(3280, "The field is part of an index: " + n);
      }
    }
    for (auto& r : t->rows) r.values.erase(r.values.begin() + p);
    touch(*db);
  }
  l->erase(l->begin() + p);
  return kHrOk;
}

// ---- recordsets ---------------------------------------------------------------

struct MemRecordset : DaoRecordset {
  std::shared_ptr<MDb> db;
  std::string table;  // table-type; empty for a query's snapshot
  bool read_only = false;
  bool open = true;
  std::string index;
  // the current record: its id (table-type) or position (snapshot)
  int64_t current = 0;
  bool eof = true;
  int16_t no_match = 0;
  // editing
  int edit_mode = 0;  // 0 none, 1 AddNew, 2 Edit
  MRecord buffer;
  // snapshot
  std::vector<MField> snap_fields;
  std::vector<std::vector<Val>> snap_rows;

  ~MemRecordset() override { close_now(); }
  void close_now() {
    if (!open) return;
    open = false;
    --g_eng.open_recordsets;
    if (!table.empty()) --db->open_sets[lower(table)];
  }
  MTable* tab() { return table.empty() ? nullptr : find_table(*db, table); }
  std::vector<MField>* fields() {
    if (table.empty()) return &snap_fields;
    MTable* t = tab();
    return t != nullptr ? &t->fields : nullptr;
  }
  // Record ids in the order of the current index (or engine order).
  std::vector<int64_t> order() {
    std::vector<int64_t> ids;
    MTable* t = tab();
    if (t == nullptr) return ids;
    std::vector<const MRecord*> rs;
    for (const auto& r : t->rows) rs.push_back(&r);
    const MIndex* ix = nullptr;
    for (const auto& i : t->indexes) {
      if (!index.empty() && same_name(i.name, index)) ix = &i;
    }
    if (ix != nullptr) {
      std::vector<int> cols;
      for (const auto& n : ix->fields) cols.push_back(find_field(*t, n));
      std::stable_sort(rs.begin(), rs.end(), [&](const MRecord* a, const MRecord* b) {
        for (int c : cols) {
          if (c < 0) continue;
          const int k = compare_values(a->values[static_cast<size_t>(c)].v, b->values[static_cast<size_t>(c)].v);
          if (k != 0) return k < 0;
        }
        return false;
      });
    }
    for (const auto* r : rs) ids.push_back(r->id);
    return ids;
  }
  MRecord* record(int64_t id) {
    MTable* t = tab();
    if (t == nullptr) return nullptr;
    for (auto& r : t->rows) {
      if (r.id == id) return &r;
    }
    return nullptr;
  }
  HRESULT closed() { return fail(3420, "The object is no longer set."); }
  HRESULT get_Fields(DaoFields** out) override {
    *out = nullptr;
    if (HRESULT h = call("Recordset.get_Fields", {})) return h;
    if (!open) return closed();
    auto* f = new MemFields;
    f->kind = MemFields::RECORD;
    f->set = this;
    f->db = db;
    f->table = table;
    AddRef();
    f->owner = this;
    *out = f;
    return kHrOk;
  }
  HRESULT get_Indexes(DaoIndexes** out) override {
    *out = nullptr;
    if (HRESULT h = call("Recordset.get_Indexes", {})) return h;
    if (!open || table.empty()) return closed();
    auto* ix = new MemIndexes;
    ix->db = db;
    ix->table = table;
    *out = ix;
    return kHrOk;
  }
  HRESULT put_Index(BSTR name) override {
    const std::string n = bstr_text(name);
    if (HRESULT h = call("Recordset.put_Index", {quoted(n)})) return h;
    if (!open || table.empty()) return closed();
    MTable* t = tab();
    for (const auto& i : t->indexes) {
      if (same_name(i.name, n)) {
        index = i.name;
        return kHrOk;
      }
    }
    return fail(3800, "Not an index of this table: " + n);
  }
  HRESULT Seek(BSTR comparison, const Variant* keys) override {
    const std::string cmp = bstr_text(comparison);
    std::vector<std::string> args{quoted(cmp)};
    for (int i = 0; i < 13; ++i) args.push_back(dao_variant_text(keys[i]));
    if (HRESULT h = call("Recordset.Seek", args)) return h;
    if (!open || table.empty() || index.empty()) return fail(3251, "The operation is not supported here.");
    if (cmp != "=") return fail(kDaoBadArgument, "Only = is supported: " + cmp);
    MTable* t = tab();
    const MIndex* ix = nullptr;
    for (const auto& i : t->indexes) {
      if (same_name(i.name, index)) ix = &i;
    }
    const int col = ix != nullptr && !ix->fields.empty() ? find_field(*t, ix->fields[0]) : -1;
    no_match = -1;
    eof = true;
    if (col < 0) return kHrOk;
    for (int64_t id : order()) {
      const MRecord* r = record(id);
      if (compare_values(r->values[static_cast<size_t>(col)].v, keys[0]) == 0 && !r->values[static_cast<size_t>(col)].null()) {
        current = id;
        no_match = 0;
        eof = false;
        break;
      }
    }
    return kHrOk;
  }
  HRESULT get_NoMatch(int16_t* out) override { return *out = no_match, kHrOk; }
  HRESULT MoveFirst() override {
    if (HRESULT h = call("Recordset.MoveFirst", {})) return h;
    if (!open) return closed();
    if (table.empty()) {
      if (current != 0 || snap_rows.empty()) return fail(kDaoNoCurrent, "No current record.");
      eof = false;
      return kHrOk;
    }
    const auto ids = order();
    if (ids.empty()) {
      eof = true;
      return fail(kDaoNoCurrent, "No current record.");
    }
    current = ids.front();
    eof = false;
    return kHrOk;
  }
  HRESULT MoveNext() override {
    if (HRESULT h = call("Recordset.MoveNext", {})) return h;
    if (!open) return closed();
    if (eof) return fail(kDaoNoCurrent, "No current record.");
    if (table.empty()) {
      ++current;
      eof = current >= static_cast<int64_t>(snap_rows.size());
      return kHrOk;
    }
    const auto ids = order();
    auto it = std::find(ids.begin(), ids.end(), current);
    if (it == ids.end() || ++it == ids.end()) {
      eof = true;
      return kHrOk;
    }
    current = *it;
    return kHrOk;
  }
  HRESULT get_EOF(int16_t* out) override { return *out = eof ? -1 : 0, kHrOk; }
  HRESULT writable(const char* method) {
    if (!open) return closed();
    if (read_only || table.empty()) return fail(kDaoReadOnly, std::string("Database or object is read-only (") + method + ")");
    return kHrOk;
  }
  HRESULT AddNew() override {
    if (HRESULT h = call("Recordset.AddNew", {})) return h;
    if (HRESULT h = writable("AddNew")) return h;
    MTable* t = tab();
    buffer = MRecord{};
    buffer.values.resize(t->fields.size());
    for (size_t i = 0; i < t->fields.size(); ++i) {
      const MField& f = t->fields[i];
      if (f.type == dbLong && (f.attributes & dbAutoIncrField) != 0) {
        buffer.values[i].v.vt = VT_I4;
        buffer.values[i].v.lVal = t->next_auto++;
      } else {
        buffer.values[i].v.vt = VT_NULL;
      }
    }
    edit_mode = 1;
    return kHrOk;
  }
  HRESULT Edit() override {
    if (HRESULT h = call("Recordset.Edit", {})) return h;
    if (HRESULT h = writable("Edit")) return h;
    MRecord* r = eof ? nullptr : record(current);
    if (r == nullptr) return fail(kDaoNoCurrent, "No current record.");
    buffer = *r;
    edit_mode = 2;
    return kHrOk;
  }
  HRESULT Update(int32_t type, int16_t force) override {
    if (HRESULT h = call("Recordset.Update", {std::to_string(type), std::to_string(force)})) return h;
    if (HRESULT h = writable("Update")) return h;
    if (edit_mode == 0) return fail(3020, "Update without AddNew or Edit.");
    MTable* t = tab();
    for (size_t i = 0; i < t->fields.size(); ++i) {
      if (t->fields[i].required && buffer.values[i].null())
        return fail(3314, "The field " + t->fields[i].name + " needs a value.");
    }
    if (breaks_unique(*t, buffer, edit_mode == 2 ? buffer.id : -1)) return duplicate();
    if (edit_mode == 1) {
      buffer.id = db->next_record++;
      t->rows.push_back(buffer);
    } else {
      MRecord* r = record(buffer.id);
      if (r == nullptr) return fail(kDaoNoCurrent, "No current record.");
      *r = buffer;
    }
    edit_mode = 0;
    touch(*db);
    return kHrOk;
  }
  HRESULT CancelUpdate(int32_t type) override {
    if (HRESULT h = call("Recordset.CancelUpdate", {std::to_string(type)})) return h;
    if (!open) return closed();
    edit_mode = 0;
    return kHrOk;
  }
  HRESULT Delete() override {
    if (HRESULT h = call("Recordset.Delete", {})) return h;
    if (HRESULT h = writable("Delete")) return h;
    MTable* t = tab();
    for (auto it = t->rows.begin(); it != t->rows.end(); ++it) {
      if (!eof && it->id == current) {
        t->rows.erase(it);
        touch(*db);
        return kHrOk;
      }
    }
    return fail(kDaoNoCurrent, "No current record.");
  }
  HRESULT Close() override {
    if (HRESULT h = call("Recordset.Close", {})) return h;
    close_now();
    return kHrOk;
  }
};

std::vector<MField>* MemFields::list() {
  if (kind == OWNED) return owned;
  if (kind == RECORD) return set->fields();
  MTable* t = find_table(*db, table);
  return t != nullptr ? &t->fields : nullptr;
}

MemField::~MemField() {
  if (set != nullptr) set->Release();
}

MField* MemField::def() {
  if (kind == DETACHED) return &own;
  if (kind == RECORD) {
    auto* l = set->fields();
    return l != nullptr && ordinal < static_cast<int>(l->size()) ? &(*l)[static_cast<size_t>(ordinal)] : nullptr;
  }
  MTable* t = find_table(*db, table);
  return t != nullptr && ordinal < static_cast<int>(t->fields.size()) ? &t->fields[static_cast<size_t>(ordinal)]
                                                                      : nullptr;
}

HRESULT MemField::get_Value(Variant* out) {
  VariantInit(out);
  if (HRESULT h = call("Field.get_Value", {})) return h;
  if (kind != RECORD) return fail(3219, "The operation is not allowed here.");
  if (!set->open) return set->closed();
  const size_t o = static_cast<size_t>(ordinal);
  if (set->edit_mode != 0) return VariantCopy(out, &set->buffer.values[o].v);
  if (set->eof) return fail(kDaoNoCurrent, "No current record.");
  if (set->table.empty()) return VariantCopy(out, &set->snap_rows[static_cast<size_t>(set->current)][o].v);
  MRecord* r = set->record(set->current);
  if (r == nullptr) return fail(kDaoNoCurrent, "No current record.");
  return VariantCopy(out, &r->values[o].v);
}

HRESULT MemField::put_Value(const Variant& value) {
  if (HRESULT h = call("Field.put_Value", {dao_variant_text(value)})) return h;
  if (kind != RECORD) return fail(3219, "The operation is not allowed here.");
  if (set->edit_mode == 0) return fail(3020, "Update without AddNew or Edit.");
  MField* f = def();
  if (f == nullptr) return no_item("field");
  if (f->type == dbLong && (f->attributes & dbAutoIncrField) != 0)
    return fail(3164, "The field cannot be updated: " + f->name);
  Variant conv;
  if (!coerce(*f, value, &conv)) return fail(3163, "The value does not fit the field " + f->name + ".");
  Variant& slot = set->buffer.values[static_cast<size_t>(ordinal)].v;
  VariantClear(&slot);
  slot = conv;  // takes what conv owns
  return kHrOk;
}

HRESULT MemFields::get_Item(const Variant& item, DaoField** out) {
  *out = nullptr;
  if (HRESULT h = call("Fields.get_Item", {dao_variant_text(item)})) return h;
  auto* l = kind == RECORD ? set->fields() : list();
  if (l == nullptr) return no_item(table);
  const int p = item_position(item, [&](size_t k) { return (*l)[k].name; }, l->size());
  if (p < 0) return no_item(item.vt == VT_BSTR ? bstr_text(item.bstrVal) : "field");
  auto* f = new MemField;
  f->ordinal = p;
  if (kind == OWNED) {
    f->own = (*l)[static_cast<size_t>(p)];
  } else if (kind == TABLE) {
    f->kind = MemField::COLUMN;
    f->db = db;
    f->table = table;
  } else {
    f->kind = MemField::RECORD;
    f->db = db;
    f->set = set;
    set->AddRef();
  }
  *out = f;
  return kHrOk;
}

struct MemTableDefs : DaoTableDefs {
  std::shared_ptr<MDb> db;
  HRESULT get_Count(int16_t* out) override {
    if (HRESULT h = call("TableDefs.get_Count", {})) return h;
    return *out = static_cast<int16_t>(db->tables.size()), kHrOk;
  }
  HRESULT get_Item(const Variant& item, DaoTableDef** out) override {
    *out = nullptr;
    if (HRESULT h = call("TableDefs.get_Item", {dao_variant_text(item)})) return h;
    const int p = item_position(item, [&](size_t k) { return db->tables[k].name; }, db->tables.size());
    if (p < 0) return no_item(item.vt == VT_BSTR ? bstr_text(item.bstrVal) : "table");
    auto* t = new MemTableDef;
    t->db = db;
    t->bound_name = db->tables[static_cast<size_t>(p)].name;
    *out = t;
    return kHrOk;
  }
  HRESULT Append(ComObject* object) override {
    if (HRESULT h = call("TableDefs.Append", {})) return h;
    auto* t = dynamic_cast<MemTableDef*>(object);
    if (t == nullptr || t->bound()) return fail(kDaoBadArgument, "Not a new table definition.");
    if (t->own.name.empty() || find_table(*db, t->own.name) != nullptr)
      return fail(3010, "The table already exists: " + t->own.name);
    if (t->own.fields.empty()) return fail(3264, "A table needs a field.");
    for (const auto& ix : t->own.indexes) {
      for (const auto& n : ix.fields) {
        if (find_field(t->own, n) < 0) return fail(3264, "No field of that name: " + n);
      }
    }
    db->tables.push_back(t->own);
    t->db = db;
    t->bound_name = t->own.name;
    touch(*db);
    return kHrOk;
  }
  HRESULT Delete(BSTR name) override {
    const std::string n = bstr_text(name);
    if (HRESULT h = call("TableDefs.Delete", {quoted(n)})) return h;
    for (auto it = db->tables.begin(); it != db->tables.end(); ++it) {
      if (same_name(it->name, n)) {
        if (db->open_sets[lower(n)] > 0) return fail(3211, "The table is in use: " + n);
        db->tables.erase(it);
        touch(*db);
        return kHrOk;
      }
    }
    return no_item(n);
  }
  HRESULT Refresh() override { return call("TableDefs.Refresh", {}); }
};

struct MemQueryDef : DaoQueryDef {
  std::shared_ptr<MDb> db;
  std::string sql;
  HRESULT OpenRecordset(const Variant& type, const Variant& options, const Variant& lock, DaoRecordset** out) override {
    *out = nullptr;
    if (HRESULT h = call("QueryDef.OpenRecordset", {dao_variant_text(type), dao_variant_text(options), dao_variant_text(lock)}))
      return h;
    std::string key, table;
    int64_t above = 0;
    if (!dao_parse_select(sql, &key, &table, &above)) return fail(kDaoSyntax, "Syntax error in the query: " + sql);
    MTable* t = find_table(*db, table);
    if (t == nullptr) return fail(3078, "No table of that name: " + table);
    const int col = find_field(*t, key);
    if (col < 0) return fail(3061, "No field of that name: " + key);
    auto* rs = new MemRecordset;
    ++g_eng.open_recordsets;
    rs->db = db;
    rs->read_only = true;
    rs->snap_fields.push_back(t->fields[static_cast<size_t>(col)]);
    std::vector<const MRecord*> rows;
    for (const auto& r : t->rows) {
      int64_t k = 0;
      if (variant_int(r.values[static_cast<size_t>(col)].v, &k) && k > above) rows.push_back(&r);
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const MRecord* a, const MRecord* b) {
      const int c = compare_values(a->values[static_cast<size_t>(col)].v, b->values[static_cast<size_t>(col)].v);
      return g_eng.reversed ? c > 0 : c < 0;
    });
    for (const auto* r : rows) rs->snap_rows.push_back({r->values[static_cast<size_t>(col)]});
    rs->current = 0;
    rs->eof = rs->snap_rows.empty();
    *out = rs;
    return kHrOk;
  }
};

struct MemDatabase : DaoDatabase {
  std::shared_ptr<MDb> db;
  bool read_only = false;
  bool open = true;
  HRESULT closed() { return fail(3420, "The object is no longer set."); }
  HRESULT get_TableDefs(DaoTableDefs** out) override {
    *out = nullptr;
    if (HRESULT h = call("Database.get_TableDefs", {})) return h;
    if (!open) return closed();
    auto* t = new MemTableDefs;
    t->db = db;
    *out = t;
    return kHrOk;
  }
  HRESULT get_Version(BSTR* out) override {
    if (HRESULT h = call("Database.get_Version", {})) return h;
    if (!open) return closed();
    return out_bstr(db->version, out);
  }
  HRESULT CreateTableDef(const Variant& name, const Variant& attributes, const Variant& source, const Variant& connect,
                         DaoTableDef** out) override {
    *out = nullptr;
    if (HRESULT h = call("Database.CreateTableDef", {dao_variant_text(name), dao_variant_text(attributes),
                                                     dao_variant_text(source), dao_variant_text(connect)}))
      return h;
    if (!open) return closed();
    if (read_only) return fail(kDaoReadOnly, "Database or object is read-only (CreateTableDef)");
    auto* t = new MemTableDef;
    t->db = db;
    if (name.vt == VT_BSTR) t->own.name = bstr_text(name.bstrVal);
    *out = t;
    return kHrOk;
  }
  HRESULT CreateQueryDef(const Variant& name, const Variant& sql, DaoQueryDef** out) override {
    *out = nullptr;
    if (HRESULT h = call("Database.CreateQueryDef", {dao_variant_text(name), dao_variant_text(sql)})) return h;
    if (!open) return closed();
    if (sql.vt != VT_BSTR) return fail(kDaoSyntax, "A query needs its text.");
    auto* q = new MemQueryDef;
    q->db = db;
    q->sql = bstr_text(sql.bstrVal);
    *out = q;
    return kHrOk;
  }
  HRESULT OpenRecordset(BSTR name, const Variant& type, const Variant& options, const Variant& lock,
                        DaoRecordset** out) override {
    *out = nullptr;
    const std::string n = bstr_text(name);
    if (HRESULT h = call("Database.OpenRecordset",
                         {quoted(n), dao_variant_text(type), dao_variant_text(options), dao_variant_text(lock)}))
      return h;
    if (!open) return closed();
    MTable* t = find_table(*db, n);
    if (t == nullptr) return fail(3078, "No table of that name: " + n);
    int64_t ty = dbOpenTable, lk = dbOptimistic;
    variant_int(type, &ty);
    variant_int(lock, &lk);
    if (ty != dbOpenTable) return fail(kDaoBadArgument, "Only table-type recordsets open on a name.");
    if (t->locked && lk != dbReadOnly)
      return fail(kDaoLocked, "The table " + n + " is locked by another user.");
    auto* rs = new MemRecordset;
    ++g_eng.open_recordsets;
    rs->db = db;
    rs->table = t->name;
    rs->read_only = read_only || lk == dbReadOnly;
    ++db->open_sets[lower(t->name)];
    const auto ids = rs->order();
    rs->eof = ids.empty();
    if (!ids.empty()) rs->current = ids.front();
    *out = rs;
    return kHrOk;
  }
  HRESULT BeginTrans() override {
    if (HRESULT h = call("Database.BeginTrans", {})) return h;
    if (!open) return closed();
    db->transactions.push_back(db->tables);
    return kHrOk;
  }
  HRESULT CommitTrans(int32_t option) override {
    if (HRESULT h = call("Database.CommitTrans", {std::to_string(option)})) return h;
    if (!open) return closed();
    if (db->transactions.empty()) return fail(3034, "No transaction was begun.");
    db->transactions.pop_back();
    touch(*db);
    return kHrOk;
  }
  HRESULT Rollback() override {
    if (HRESULT h = call("Database.Rollback", {})) return h;
    if (!open) return closed();
    if (db->transactions.empty()) return fail(3034, "No transaction was begun.");
    db->tables = db->transactions.back();
    db->transactions.pop_back();
    return kHrOk;
  }
  HRESULT Close() override {
    if (HRESULT h = call("Database.Close", {})) return h;
    open = false;
    return kHrOk;
  }
};

struct MemEngine : DaoEngine {
  HRESULT get_Errors(DaoErrors** out) override {
    *out = nullptr;
    if (HRESULT h = call("DBEngine.get_Errors", {})) return h;
    *out = new MemErrors;
    return kHrOk;
  }
  HRESULT OpenDatabase(BSTR name, const Variant& options, const Variant& read_only, const Variant& connect,
                       DaoDatabase** out) override {
    *out = nullptr;
    const std::string path = bstr_text(name);
    if (HRESULT h = call("OpenDatabase", {quoted(path), dao_variant_text(options), dao_variant_text(read_only),
                                          dao_variant_text(connect)}))
      return h;
    auto it = g_eng.dbs.find(path);
    struct stat st;
    if (it == g_eng.dbs.end() || stat(path.c_str(), &st) != 0)
      return fail(kDaoNotFound, "Could not find the database file " + path + ".");
    const std::string c = connect.vt == VT_BSTR ? bstr_text(connect.bstrVal) : std::string();
    const std::string given = c.rfind(";pwd=", 0) == 0 ? c.substr(5) : std::string();
    if (!it->second->password.empty() && given != it->second->password)
      return fail(kDaoBadPassword, "Not a valid password.");
    auto* d = new MemDatabase;
    d->db = it->second;
    d->read_only = read_only.vt == VT_BOOL && read_only.boolVal != 0;
    *out = d;
    return kHrOk;
  }
  HRESULT CreateDatabase(BSTR name, BSTR locale, const Variant& option, DaoDatabase** out) override {
    *out = nullptr;
    const std::string path = bstr_text(name);
    if (HRESULT h = call("CreateDatabase", {quoted(path), quoted(bstr_text(locale)), dao_variant_text(option)}))
      return h;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return fail(3204, "The database already exists: " + path);
    if (!write_placeholder(path)) return fail(3044, "Not a valid path: " + path);
    auto db = std::make_shared<MDb>();
    db->path = path;
    int64_t o = dbVersion40;
    variant_int(option, &o);
    db->version = (o & dbVersion30) != 0 ? "3.0" : "4.0";
    g_eng.dbs[path] = db;
    auto* d = new MemDatabase;
    d->db = db;
    *out = d;
    return kHrOk;
  }
};

struct MemFactory : ClassFactory {
  HRESULT CreateInstance(const char* iid, ComObject** out) override {
    *out = nullptr;
    if (HRESULT h = call("CreateInstance", {quoted(iid != nullptr ? iid : "")})) return h;
    if (iid == nullptr || std::strcmp(iid, kDaoEngineIid) != 0) return static_cast<HRESULT>(0x80004002u);
    *out = new MemEngine;
    return kHrOk;
  }
};

struct MemBackend : ComBackend {
  HRESULT GetClassObject(const char* clsid, ClassFactory** out) override {
    *out = nullptr;
    if (HRESULT h = call("CoGetClassObject", {quoted(clsid)})) return h;
    const bool current = std::strcmp(clsid, kDaoEngineClass36) == 0;
    const bool older = std::strcmp(clsid, kDaoEngineClass35) == 0;
    if ((current && g_eng.has_current) || (older && g_eng.has_older)) {
      *out = new MemFactory;
      return kHrOk;
    }
    return kHrClassNotRegistered;
  }
};
MemBackend g_backend;

std::shared_ptr<MDb> db_of(const std::string& path) {
  auto it = g_eng.dbs.find(path);
  return it == g_eng.dbs.end() ? nullptr : it->second;
}

}  // namespace

void mem_dao_install() {
  mem_dao_reset();
  ComBackend* old = com_set_backend(&g_backend);
  if (!g_eng.installed) g_eng.former = old;
  g_eng.installed = true;
}

void mem_dao_uninstall() {
  if (!g_eng.installed) return;
  com_set_backend(g_eng.former);
  g_eng.installed = false;
  mem_dao_reset();
}

void mem_dao_reset() {
  g_eng.has_current = g_eng.has_older = true;
  g_eng.reversed = false;
  g_eng.dbs.clear();
  g_eng.log.clear();
  g_eng.rules.clear();
  g_eng.errors.clear();
}

void mem_dao_set_classes(bool current, bool older) {
  g_eng.has_current = current;
  g_eng.has_older = older;
}

void mem_dao_fail_call(const std::string& method, int32_t nth, int32_t number,
                       const std::vector<std::string>& descriptions) {
  g_eng.rules.push_back(Rule{method, nth, number, descriptions});
}

void mem_dao_set_reversed(bool reversed) { g_eng.reversed = reversed; }

void mem_dao_set_locked(const std::string& path, const std::string& table, bool locked) {
  if (auto db = db_of(path)) {
    if (MTable* t = find_table(*db, table)) t->locked = locked;
  }
}

const std::vector<std::string>& mem_dao_log() { return g_eng.log; }
void mem_dao_clear_log() { g_eng.log.clear(); }

std::vector<std::string> mem_dao_log_of(const std::string& method) {
  std::vector<std::string> out;
  for (const auto& l : g_eng.log) {
    if (l.rfind(method + "(", 0) == 0) out.push_back(l);
  }
  return out;
}

bool mem_dao_create(const std::string& path, const std::string& version, const std::string& password) {
  if (!write_placeholder(path)) return false;
  auto db = std::make_shared<MDb>();
  db->path = path;
  db->version = version;
  db->password = password;
  g_eng.dbs[path] = db;
  return true;
}

bool mem_dao_add_table(const std::string& path, const std::string& table, const std::vector<MemDaoColumn>& columns) {
  auto db = db_of(path);
  if (db == nullptr || find_table(*db, table) != nullptr) return false;
  MTable t;
  t.name = table;
  for (const auto& c : columns) {
    MField f;
    f.name = c.name;
    f.type = c.type;
    f.size = c.size;
    f.attributes = c.attributes;
    t.fields.push_back(f);
  }
  db->tables.push_back(t);
  return true;
}

bool mem_dao_add_index(const std::string& path, const std::string& table, const std::string& name,
                       const std::vector<std::string>& columns, bool unique, bool primary) {
  auto db = db_of(path);
  MTable* t = db != nullptr ? find_table(*db, table) : nullptr;
  if (t == nullptr) return false;
  MIndex ix;
  ix.name = name;
  ix.unique = unique;
  ix.primary = primary;
  ix.fields = columns;
  t->indexes.push_back(ix);
  return true;
}

bool mem_dao_add_row(const std::string& path, const std::string& table, const std::vector<Variant>& values) {
  auto db = db_of(path);
  MTable* t = db != nullptr ? find_table(*db, table) : nullptr;
  if (t == nullptr || values.size() != t->fields.size()) return false;
  MRecord r;
  r.id = db->next_record++;
  for (size_t i = 0; i < values.size(); ++i) {
    const MField& f = t->fields[i];
    Val v;
    if (values[i].vt == VT_EMPTY && f.type == dbLong && (f.attributes & dbAutoIncrField) != 0) {
      v.v.vt = VT_I4;
      v.v.lVal = t->next_auto++;
    } else if (values[i].vt == VT_EMPTY) {
      v.v.vt = VT_NULL;
    } else {
      VariantCopy(&v.v, &values[i]);
      if (v.v.vt == VT_I4 && f.type == dbLong && (f.attributes & dbAutoIncrField) != 0)
        t->next_auto = std::max(t->next_auto, v.v.lVal + 1);
    }
    r.values.push_back(v);
  }
  if (breaks_unique(*t, r, -1)) return false;
  t->rows.push_back(r);
  touch(*db);
  return true;
}

bool mem_dao_delete_row(const std::string& path, const std::string& table, const std::string& column, int32_t key) {
  auto db = db_of(path);
  MTable* t = db != nullptr ? find_table(*db, table) : nullptr;
  const int c = t != nullptr ? find_field(*t, column) : -1;
  if (c < 0) return false;
  for (auto it = t->rows.begin(); it != t->rows.end(); ++it) {
    int64_t k = 0;
    if (variant_int(it->values[static_cast<size_t>(c)].v, &k) && k == key) {
      t->rows.erase(it);
      touch(*db);
      return true;
    }
  }
  return false;
}

int32_t mem_dao_row_count(const std::string& path, const std::string& table) {
  auto db = db_of(path);
  MTable* t = db != nullptr ? find_table(*db, table) : nullptr;
  return t != nullptr ? static_cast<int32_t>(t->rows.size()) : -1;
}

std::vector<MemDaoColumn> mem_dao_columns(const std::string& path, const std::string& table) {
  std::vector<MemDaoColumn> out;
  auto db = db_of(path);
  MTable* t = db != nullptr ? find_table(*db, table) : nullptr;
  if (t == nullptr) return out;
  for (const auto& f : t->fields) out.push_back(MemDaoColumn{f.name, f.type, f.size, f.attributes});
  return out;
}

std::vector<MemDaoIndexInfo> mem_dao_indexes(const std::string& path, const std::string& table) {
  std::vector<MemDaoIndexInfo> out;
  auto db = db_of(path);
  MTable* t = db != nullptr ? find_table(*db, table) : nullptr;
  if (t == nullptr) return out;
  for (const auto& ix : t->indexes) {
    std::string fields;
    for (const auto& f : ix.fields) fields += (fields.empty() ? "" : ",") + f;
    out.push_back(MemDaoIndexInfo{ix.name, ix.unique, ix.primary, fields});
  }
  return out;
}

bool mem_dao_value(const std::string& path, const std::string& table, int32_t position, const std::string& column,
                   Variant* out) {
  auto db = db_of(path);
  MTable* t = db != nullptr ? find_table(*db, table) : nullptr;
  const int c = t != nullptr ? find_field(*t, column) : -1;
  if (c < 0 || position < 0 || position >= static_cast<int32_t>(t->rows.size())) return false;
  return VariantCopy(out, &t->rows[static_cast<size_t>(position)].values[static_cast<size_t>(c)].v) == kHrOk;
}

bool mem_dao_set_table_attributes(const std::string& path, const std::string& table, int32_t attributes) {
  auto db = db_of(path);
  MTable* t = db != nullptr ? find_table(*db, table) : nullptr;
  if (t == nullptr) return false;
  t->attributes = attributes;
  return true;
}

bool mem_dao_has_table(const std::string& path, const std::string& table) {
  auto db = db_of(path);
  return db != nullptr && find_table(*db, table) != nullptr;
}

int32_t mem_dao_open_recordsets() { return g_eng.open_recordsets; }
