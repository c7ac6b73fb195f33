// COM and OLE Automation stand-ins (see com.h).
#include "platform/dao/com.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/dao/dao.h"
#include "platform/dao/mdbengine.h"

namespace {

struct ComState {
  int32_t init_count = 0;
  int64_t strings_alive = 0;
  ComBackend* backend = mdb_dao_backend();  // real database files
};
ComState g_com;

}  // namespace

BSTR SysAllocStringByteLen(const char* bytes, uint32_t length) {
  auto* block = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 6));
  if (block == nullptr) return nullptr;
  block[0] = static_cast<char>(length & 0xFF);
  block[1] = static_cast<char>((length >> 8) & 0xFF);
  block[2] = static_cast<char>((length >> 16) & 0xFF);
  block[3] = static_cast<char>((length >> 24) & 0xFF);
  if (bytes != nullptr) std::memcpy(block + 4, bytes, length);
  else std::memset(block + 4, 0, length);
  block[4 + length] = '\0';
  block[5 + length] = '\0';
  ++g_com.strings_alive;
  return block + 4;
}

BSTR SysAllocString(const char* text) {
  return text == nullptr ? nullptr : SysAllocStringByteLen(text, static_cast<uint32_t>(std::strlen(text)));
}

void SysFreeString(BSTR text) {
  if (text == nullptr) return;
  --g_com.strings_alive;
  std::free(text - 4);
}

uint32_t SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text - 4);
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

int64_t SysStringsAlive() { return g_com.strings_alive; }

void VariantInit(Variant* v) {
  std::memset(static_cast<void*>(v), 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(Variant* v) {
  if (v == nullptr) return kHrOk;
  if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
  if (v->vt == VT_DISPATCH && v->pdispVal != nullptr) v->pdispVal->Release();
  VariantInit(v);
  return kHrOk;
}

HRESULT VariantCopy(Variant* dst, const Variant* src) {
  VariantClear(dst);
  *dst = *src;
  if (src->vt == VT_BSTR && src->bstrVal != nullptr) {
    dst->bstrVal = SysAllocStringByteLen(src->bstrVal, SysStringByteLen(src->bstrVal));
    if (dst->bstrVal == nullptr) {
      VariantInit(dst);
      return kHrOutOfMemory;
    }
  }
  if (src->vt == VT_DISPATCH && src->pdispVal != nullptr) src->pdispVal->AddRef();
  return kHrOk;
}

Variant var_missing() {
  Variant v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = kHrParamNotFound;
  return v;
}

Variant var_i2(int16_t n) {
  Variant v;
  VariantInit(&v);
  v.vt = VT_I2;
  v.iVal = n;
  return v;
}

Variant var_i4(int32_t n) {
  Variant v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

Variant var_bool(int16_t n) {
  Variant v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = n;
  return v;
}

Variant var_bstr(const char* text) {
  Variant v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text != nullptr ? text : "");
  return v;
}

Variant var_null() {
  Variant v;
  VariantInit(&v);
  v.vt = VT_NULL;
  return v;
}

std::string dao_variant_text(const Variant& v) {
  char buf[64];
  switch (v.vt) {
    case VT_EMPTY: return "VT_EMPTY";
    case VT_NULL: return "VT_NULL";
    case VT_I2: std::snprintf(buf, sizeof buf, "VT_I2 %d", v.iVal); return buf;
    case VT_I4: std::snprintf(buf, sizeof buf, "VT_I4 %d", v.lVal); return buf;
    case VT_R4: std::snprintf(buf, sizeof buf, "VT_R4 %.9g", static_cast<double>(v.fltVal)); return buf;
    case VT_R8: std::snprintf(buf, sizeof buf, "VT_R8 %.17g", v.dblVal); return buf;
    case VT_CY: std::snprintf(buf, sizeof buf, "VT_CY %lld", static_cast<long long>(v.cyVal)); return buf;
    case VT_DATE: std::snprintf(buf, sizeof buf, "VT_DATE %.17g", v.date); return buf;
    case VT_BSTR:
      return std::string("VT_BSTR \"") + std::string(v.bstrVal != nullptr ? v.bstrVal : "", SysStringByteLen(v.bstrVal)) +
             "\"";
    case VT_ERROR: return v.scode == kHrParamNotFound ? "VT_ERROR" : "VT_ERROR " + std::to_string(v.scode);
    case VT_BOOL: std::snprintf(buf, sizeof buf, "VT_BOOL %d", v.boolVal); return buf;
    case VT_UI1: std::snprintf(buf, sizeof buf, "VT_UI1 %u", v.bVal); return buf;
    case VT_DISPATCH: return "VT_DISPATCH";
    default: std::snprintf(buf, sizeof buf, "VT %u", v.vt); return buf;
  }
}

HRESULT CoInitialize(void*) {
  ++g_com.init_count;
  return g_com.init_count == 1 ? kHrOk : kHrFalse;
}

void CoUninitialize() {
  if (g_com.init_count > 0) --g_com.init_count;
}

int32_t CoInitCount() { return g_com.init_count; }

ComBackend* com_set_backend(ComBackend* backend) {
  ComBackend* old = g_com.backend;
  g_com.backend = backend;
  return old;
}

ComBackend* com_backend() { return g_com.backend; }

HRESULT CoGetClassObject(const char* clsid, ClassFactory** out) {
  *out = nullptr;
  if (g_com.init_count <= 0) return kHrFail;
  if (g_com.backend == nullptr || clsid == nullptr) return kHrClassNotRegistered;
  return g_com.backend->GetClassObject(clsid, out);
}

bool dao_parse_select(const std::string& sql, std::string* key, std::string* table, int64_t* above) {
  size_t p = 0;
  auto word = [&](const char* w) {
    const size_t n = std::strlen(w);
    if (strncasecmp(sql.c_str() + p, w, n) != 0) return false;
    p += n;
    return true;
  };
  auto name = [&](std::string* out) {
    if (p >= sql.size() || sql[p] != '`') return false;
    const size_t end = sql.find('`', p + 1);
    if (end == std::string::npos || end == p + 1) return false;
    *out = sql.substr(p + 1, end - p - 1);
    p = end + 1;
    return true;
  };
  std::string k2;
  if (!word("select ") || !name(key) || !word(" from ") || !name(table) || !word(" where ") || !name(&k2) ||
      !word(" > ") || strcasecmp(key->c_str(), k2.c_str()) != 0)
    return false;
  const std::string rest = sql.substr(p);
  if (rest.empty() || rest.size() > 11) return false;
  size_t i = rest[0] == '-' ? 1 : 0;
  if (i == rest.size()) return false;
  for (size_t j = i; j < rest.size(); ++j) {
    if (rest[j] < '0' || rest[j] > '9') return false;
  }
  *above = std::stoll(rest);
  return true;
}

