// The database engine of the Access driver: one engine per process shared
// by reference count, opening and creating databases (password, format,
// the retries), the engine's errors as one kernel error, the two database
// probes and the transaction calls.
#include <cstring>
#include <string>

#include "kernel/drivers/access.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/list.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/tabdef.h"

namespace {

constexpr const char* kLocale = ";LANGID=0x0409;CP=1252;COUNTRY=0";
constexpr int kPasswordLimit = 20;

struct EngineRecord {
  int32_t refs = 0;
  DaoEngine* engine = nullptr;
  int16_t default_format = dbVersion40;
};
EngineRecord g_engine;

}  // namespace

int16_t dao_engine_start() {
  if (g_engine.refs > 0) {
    ++g_engine.refs;
    return 1;
  }
  if (hr_failed(CoInitialize(nullptr))) return 0;
  ComRef<ClassFactory> factory;
  HRESULT h = CoGetClassObject(kDaoEngineClass36, factory.out());
  if (hr_failed(h)) {
    h = CoGetClassObject(kDaoEngineClass35, factory.out());
    if (!hr_failed(h)) g_engine.default_format = dbVersion30;
  }
  ComObject* made = nullptr;
  if (!hr_failed(h) && factory) h = factory->CreateInstance(kDaoEngineIid, &made);
  auto* engine = dynamic_cast<DaoEngine*>(made);
  if (hr_failed(h) || engine == nullptr) {
    if (made != nullptr) made->Release();
    CoUninitialize();
    return 0;
  }
  g_engine.engine = engine;
  g_engine.refs = 1;
  return 1;
}

void dao_engine_release() {
  if (g_engine.refs <= 0) return;
  if (--g_engine.refs > 0) return;
  com_release(&g_engine.engine);
  CoUninitialize();
}

int32_t dao_engine_refs() { return g_engine.refs; }
int16_t dao_default_format() { return g_engine.default_format; }
DaoEngine* dao_engine() { return g_engine.engine; }

void dao_engine_reset() {
  while (g_engine.refs > 0) dao_engine_release();
  g_engine = EngineRecord{};
}

HRESULT dao_create_database(const char* path, int32_t version, DaoDatabase** out) {
  *out = nullptr;
  if (g_engine.engine == nullptr) return kHrFail;
  BstrHolder name(path), locale(kLocale);
  const int16_t option = version == kAccessVersion30 ? dbVersion30 : g_engine.default_format;
  return g_engine.engine->CreateDatabase(name.b, locale.b, var_i2(option), out);
}

HRESULT dao_open_database(int32_t version, int16_t read_only, const char* path, const char* password,
                          DaoDatabase** out) {
  *out = nullptr;
  if (g_engine.engine == nullptr) return kHrFail;
  std::string connect = kernel_string(7111);
  if (password != nullptr && std::strlen(password) < static_cast<size_t>(kPasswordLimit)) {
    connect = std::string(kernel_string(7110)) + password;
  }
  BstrHolder name(path);
  VariantHolder c(var_bstr(connect.c_str()));
  HRESULT h = g_engine.engine->OpenDatabase(name.b, var_bool(0), var_bool(read_only ? -1 : 0), c.v, out);
  if (!hr_failed(h)) return h;
  const int32_t number = dao_error_number(h);
  if (version != -1 && number == kDaoNotFound) return dao_create_database(path, version, out);
  if (number == kDaoBadPassword) return h;
  return g_engine.engine->OpenDatabase(name.b, var_bool(-1), var_bool(-1), c.v, out);
}

int16_t dao_attach_database(StorageDesc* s, DaoTable* state, int16_t create) {
  AccessOptions* o = dao_options(s);
  if (o == nullptr) return 0;
  if (o->database.empty()) {
    char path[kPathSize] = {};
    if (s->data_file > 0) file_get_path(s->data_file, path);
    o->database = path;
  }
  const HRESULT h = dao_open_database(create ? o->version : -1, 0, o->database.c_str(),
                                      o->password.empty() ? nullptr : o->password.c_str(), &state->database);
  if (hr_failed(h)) {
    dao_report_errors();
    return 0;
  }
  return 1;
}

void dao_report_errors() {
  if (g_engine.engine == nullptr) {
    err_push(4, kErrAccessNoEngine, nullptr, nullptr);
    return;
  }
  ComRef<DaoErrors> errors;
  if (hr_failed(g_engine.engine->get_Errors(errors.out())) || !errors) return;
  std::string text;
  int16_t count = 0;
  bool ok = !hr_failed(errors->get_Count(&count));
  for (int16_t i = 0; ok && i < count; ++i) {
    ComRef<DaoError> e;
    BstrHolder d;
    ok = !hr_failed(errors->get_Item(var_i2(i), e.out())) && e && !hr_failed(e->get_Description(d.out()));
    if (!ok) break;
    const std::string piece = d.text();
    if (text.size() + piece.size() < static_cast<size_t>(kAccessErrorText)) text += piece;
  }
  if (!ok) {
    err_push(4, kErrAccessNoEngine, nullptr, nullptr);
    return;
  }
  err_push(4, kErrAccessEngine, text.c_str(), nullptr);
}

void dao_close_database(DaoDatabase** d) {
  if (*d == nullptr) return;
  (*d)->Close();
  com_release(d);
}

void dao_close_recordset(DaoRecordset** r) {
  if (*r == nullptr) return;
  (*r)->Close();
  com_release(r);
}

int16_t dao_database_version(const char* path, const char* password, int32_t* version, int16_t* opened) {
  *version = 0;
  *opened = 0;
  if (!dao_engine_start()) {
    err_push(4, kErrAccessNoEngine, nullptr, nullptr);
    return 0;
  }
  DaoDatabase* db = nullptr;
  int16_t ok = 0;
  const HRESULT h = dao_open_database(-1, 1, path, password, &db);
  if (hr_failed(h)) {
    if (dao_error_number(h) == kDaoBadPassword) ok = 1;
    else dao_report_errors();
  } else {
    BstrHolder v;
    double number = 0;
    if (hr_failed(db->get_Version(v.out()))) {
      dao_report_errors();
    } else if (str_to_double(v.text(), &number) != nullptr) {
      *version = number == 4.0 ? 5 : number == 3.5 || number == 3.0 ? 4 : number == 2.0 ? 3 : number == 1.1 ? 2
                 : number == 1.0 ? 1 : 0;
      *opened = 1;
      ok = 1;
    }
  }
  dao_close_database(&db);
  dao_engine_release();
  return ok;
}

int16_t dao_list_tables(const char* path, const char* password, char** names, int32_t* count) {
  *count = 0;
  if (!dao_engine_start()) {
    err_push(4, kErrAccessNoEngine, nullptr, nullptr);
    return 0;
  }
  DaoDatabase* db = nullptr;
  bool ok = !hr_failed(dao_open_database(-1, 1, path, password, &db));
  if (ok) {
    ComRef<DaoTableDefs> defs;
    int16_t n = 0;
    ok = !hr_failed(db->get_TableDefs(defs.out())) && !hr_failed(defs->get_Count(&n)) && n > 0;
    for (int16_t i = 0; ok && i < n; ++i) {
      ComRef<DaoTableDef> t;
      int32_t attributes = 0;
      BstrHolder name;
      ok = !hr_failed(defs->get_Item(var_i2(i), t.out())) && !hr_failed(t->get_Attributes(&attributes));
      if (ok && attributes == 0) {
        ok = !hr_failed(t->get_Name(name.out())) && namelist_add(names, name.text(), nullptr, 0, 0) > 0;
        if (ok) ++*count;
      }
    }
  }
  if (!ok) {
    if (err_count() == 0) dao_report_errors();
    mem_free(names);
    *count = 0;
  }
  dao_close_database(&db);
  dao_engine_release();
  return ok ? 1 : 0;
}

namespace {

int16_t transaction(StorageDesc* s, int which) {
  DaoTable* st = dao_state(s);
  if (st == nullptr || st->database == nullptr) return 0;
  const HRESULT h = which == 0 ? st->database->BeginTrans()
                    : which == 1 ? st->database->CommitTrans(dbForceOSFlush)
                                 : st->database->Rollback();
  return hr_failed(h) ? 0 : 1;
}

}  // namespace

int16_t dao_begin_transaction(StorageDesc* s) { return transaction(s, 0); }
int16_t dao_commit_transaction(StorageDesc* s) { return transaction(s, 1); }
int16_t dao_rollback_transaction(StorageDesc* s) { return transaction(s, 2); }
