// The small part of COM and OLE Automation the Access layer needs, as our
// own: result codes, byte strings with a length prefix (BSTR), the VARIANT
// record with its type codes, reference-counted objects, a counted library
// start and stop, and class objects from the installed backend.
//
// A BSTR here holds bytes unchanged: no code-page conversion takes place.
// HRESULTs of the database engine carry its error number in the low 16
// bits (dao_hresult).
#pragma once
#include <cstdint>

using HRESULT = int32_t;
using BSTR = char*;

constexpr HRESULT kHrOk = 0;
constexpr HRESULT kHrFalse = 1;
constexpr HRESULT kHrFail = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kHrOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT kHrClassNotRegistered = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT kHrParamNotFound = static_cast<HRESULT>(0x80020004u);  // DISP_E_PARAMNOTFOUND
constexpr HRESULT kHrBadVarType = static_cast<HRESULT>(0x80020008u);

inline bool hr_failed(HRESULT h) { return h < 0; }
// The HRESULT of a database engine error number.
inline HRESULT dao_hresult(int32_t number) {
  return static_cast<HRESULT>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}
// The engine's error number of an HRESULT (its low 16 bits).
inline int32_t dao_error_number(HRESULT h) { return static_cast<int32_t>(static_cast<uint32_t>(h) & 0xFFFFu); }

// ---- BSTR: bytes with a 32-bit length before them and two zero bytes after.
BSTR SysAllocStringByteLen(const char* bytes, uint32_t length);
// Over a zero-terminated text (null gives null).
BSTR SysAllocString(const char* text);
void SysFreeString(BSTR text);
uint32_t SysStringByteLen(BSTR text);
// Number of BSTRs alive (a test seam for leaks through the layer).
int64_t SysStringsAlive();

// ---- VARIANT
enum VarType : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UI1 = 17,
};

struct ComObject;

struct Variant {
  uint16_t vt;
  union {
    int16_t iVal;
    int32_t lVal;
    float fltVal;
    double dblVal;
    int64_t cyVal;  // ten-thousandths
    double date;    // OLE Automation date
    BSTR bstrVal;
    int32_t scode;
    int16_t boolVal;  // -1 true, 0 false
    uint8_t bVal;
    ComObject* pdispVal;
  };
};

void VariantInit(Variant* v);
// Frees what the VARIANT owns (its BSTR, its object reference) and makes it
// VT_EMPTY.
HRESULT VariantClear(Variant* v);
// A deep copy into an initialised dst.
HRESULT VariantCopy(Variant* dst, const Variant* src);

// Makers of the argument VARIANTs (an owned BSTR for text).
Variant var_missing();  // VT_ERROR DISP_E_PARAMNOTFOUND
Variant var_i2(int16_t n);
Variant var_i4(int32_t n);
Variant var_bool(int16_t n);  // the number as given in the 16-bit value
Variant var_bstr(const char* text);
Variant var_null();

// ---- objects: reference counted; created with one reference.
struct ComObject {
  virtual ~ComObject() = default;
  void AddRef() { ++refs_; }
  void Release() {
    if (--refs_ == 0) delete this;
  }

 private:
  int32_t refs_ = 1;
};

// Releases and nulls a pointer to an object.
template <class T>
void com_release(T** p) {
  if (*p != nullptr) (*p)->Release();
  *p = nullptr;
}

// ---- the library: counted start and stop per process.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
// How many starts are not yet matched by a stop.
int32_t CoInitCount();

// A class object: makes the instances of one class.
struct ClassFactory : ComObject {
  virtual HRESULT CreateInstance(const char* iid, ComObject** out) = 0;
};

// The backend answers class objects by class id (as text,
// "{00000100-...}"); it is installed by the layer's backend hook.
struct ComBackend {
  virtual ~ComBackend() = default;
  virtual HRESULT GetClassObject(const char* clsid, ClassFactory** out) = 0;
};
// Installs the backend (null: none, every class is unknown); answers the
// one it replaced. The caller keeps ownership.
ComBackend* com_set_backend(ComBackend* backend);
ComBackend* com_backend();
// Fails without a started library (CoInitialize) or a backend.
HRESULT CoGetClassObject(const char* clsid, ClassFactory** out);

// ---- holders for callers: release, free and clear at scope end.
template <class T>
struct ComRef {
  T* p = nullptr;
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() { com_release(&p); }
  T** out() {
    com_release(&p);
    return &p;
  }
  T* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

struct BstrHolder {
  BSTR b = nullptr;
  BstrHolder() = default;
  explicit BstrHolder(const char* text) : b(SysAllocString(text != nullptr ? text : "")) {}
  BstrHolder(const BstrHolder&) = delete;
  BstrHolder& operator=(const BstrHolder&) = delete;
  ~BstrHolder() { SysFreeString(b); }
  BSTR* out() {
    SysFreeString(b);
    b = nullptr;
    return &b;
  }
  const char* text() const { return b != nullptr ? b : ""; }
};

struct VariantHolder {
  Variant v;
  VariantHolder() { VariantInit(&v); }
  explicit VariantHolder(const Variant& owned) : v(owned) {}  // takes what it owns
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
  ~VariantHolder() { VariantClear(&v); }
  Variant* out() {
    VariantClear(&v);
    return &v;
  }
};
