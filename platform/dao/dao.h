// The database engine's object model as this system calls it: the engine,
// its error collection, databases, table definitions, fields, indexes,
// recordsets and query definitions, each an abstract interface whose
// methods answer HRESULTs. A backend (the in-memory engine, or the reader of
// real database files) implements them and hands out its engine through the
// class object of the engine class ids below.
//
// Names and values travel as BSTRs of unchanged bytes; the caller frees
// every BSTR and clears every VARIANT it receives.
#pragma once
#include "platform/dao/com.h"

// Class ids of the engine (the current one and the older one) and the
// interface id of the engine interface asked for.
constexpr const char* kDaoEngineClass36 = "{00000100-0000-0010-8000-00AA006D2EA4}";
constexpr const char* kDaoEngineClass35 = "{00000010-0000-0010-8000-00AA006D2EA4}";
constexpr const char* kDaoEngineIid = "{00000020-0000-0010-8000-00AA006D2EA4}";

// Engine error numbers this system compares.
constexpr int32_t kDaoNoUnique = 3022;     // a unique index would hold a value twice
constexpr int32_t kDaoNotFound = 3024;     // the database file was not found
constexpr int32_t kDaoReadOnly = 3027;     // database or object is read-only
constexpr int32_t kDaoBadPassword = 3031;  // not a valid password
constexpr int32_t kDaoLocked = 3262;       // the table is locked by another user
constexpr int32_t kDaoNoItem = 3265;       // no item of that name in the collection
constexpr int32_t kDaoBadFormat = 3343;    // unrecognised database format
constexpr int32_t kDaoNoCurrent = 3021;    // no current record
constexpr int32_t kDaoSyntax = 3075;       // syntax error in the query
constexpr int32_t kDaoBadArgument = 3001;  // invalid argument

// Field types and attributes.
enum DaoFieldType : int16_t {
  dbBoolean = 1,
  dbByte = 2,
  dbInteger = 3,
  dbLong = 4,
  dbCurrency = 5,
  dbSingle = 6,
  dbDouble = 7,
  dbDate = 8,
  dbBinary = 9,
  dbText = 10,
  dbLongBinary = 11,
  dbMemo = 12,
  dbGUID = 15,
  dbBigInt = 16,
  dbDecimal = 20,
};
constexpr int32_t dbAutoIncrField = 16;
// Recordset types, options and lock modes.
constexpr int32_t dbOpenTable = 1;
constexpr int32_t dbOpenForwardOnly = 8;
constexpr int32_t dbDenyWrite = 1;
constexpr int32_t dbSeeChanges = 512;
constexpr int32_t dbOptimistic = 3;
constexpr int32_t dbReadOnly = 4;
constexpr int32_t dbUpdateRegular = 1;
constexpr int32_t dbForceOSFlush = 1;
// Database formats of CreateDatabase.
constexpr int16_t dbVersion30 = 32;
constexpr int16_t dbVersion40 = 64;

struct DaoError : ComObject {
  virtual HRESULT get_Description(BSTR* out) = 0;
  virtual HRESULT get_Number(int32_t* out) = 0;
};

template <class T>
struct DaoCollection : ComObject {
  virtual HRESULT get_Count(int16_t* out) = 0;
  // By position (VT_I2 or VT_I4) or by name (VT_BSTR).
  virtual HRESULT get_Item(const Variant& item, T** out) = 0;
  virtual HRESULT Append(ComObject* object) = 0;
  virtual HRESULT Delete(BSTR name) = 0;
  virtual HRESULT Refresh() = 0;
};

using DaoErrors = DaoCollection<DaoError>;

struct DaoField : ComObject {
  virtual HRESULT get_Type(int16_t* out) = 0;
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Size(int32_t* out) = 0;
  virtual HRESULT get_Value(Variant* out) = 0;
  virtual HRESULT put_Value(const Variant& value) = 0;
  virtual HRESULT get_Attributes(int32_t* out) = 0;
  virtual HRESULT put_Attributes(int32_t value) = 0;
  virtual HRESULT put_Required(int16_t value) = 0;
  virtual HRESULT get_CollectionIndex(int16_t* out) = 0;
};
using DaoFields = DaoCollection<DaoField>;

struct DaoIndex : ComObject {
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Unique(int16_t* out) = 0;
  virtual HRESULT put_Unique(int16_t value) = 0;
  virtual HRESULT put_Primary(int16_t value) = 0;
  virtual HRESULT put_Required(int16_t value) = 0;
  virtual HRESULT put_IgnoreNulls(int16_t value) = 0;
  // A VT_DISPATCH VARIANT holding the index's field collection (DaoFields).
  virtual HRESULT get_Fields(Variant* out) = 0;
  virtual HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, DaoField** out) = 0;
};
using DaoIndexes = DaoCollection<DaoIndex>;

struct DaoTableDef : ComObject {
  virtual HRESULT get_Attributes(int32_t* out) = 0;
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  virtual HRESULT get_Fields(DaoFields** out) = 0;
  virtual HRESULT get_Indexes(DaoIndexes** out) = 0;
  virtual HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, DaoField** out) = 0;
  virtual HRESULT CreateIndex(const Variant& name, DaoIndex** out) = 0;
};
using DaoTableDefs = DaoCollection<DaoTableDef>;

struct DaoRecordset : ComObject {
  virtual HRESULT get_Fields(DaoFields** out) = 0;
  virtual HRESULT get_Indexes(DaoIndexes** out) = 0;
  virtual HRESULT put_Index(BSTR name) = 0;
  // keys: thirteen VARIANTs, the ones left out VT_ERROR.
  virtual HRESULT Seek(BSTR comparison, const Variant* keys) = 0;
  virtual HRESULT get_NoMatch(int16_t* out) = 0;
  virtual HRESULT MoveFirst() = 0;
  virtual HRESULT MoveNext() = 0;
  virtual HRESULT get_EOF(int16_t* out) = 0;
  virtual HRESULT AddNew() = 0;
  virtual HRESULT Edit() = 0;
  virtual HRESULT Update(int32_t type, int16_t force) = 0;
  virtual HRESULT CancelUpdate(int32_t type) = 0;
  virtual HRESULT Delete() = 0;
  virtual HRESULT Close() = 0;
};

struct DaoQueryDef : ComObject {
  virtual HRESULT OpenRecordset(const Variant& type, const Variant& options, const Variant& lock,
                                DaoRecordset** out) = 0;
};

struct DaoDatabase : ComObject {
  virtual HRESULT get_TableDefs(DaoTableDefs** out) = 0;
  virtual HRESULT get_Version(BSTR* out) = 0;
  virtual HRESULT CreateTableDef(const Variant& name, const Variant& attributes, const Variant& source,
                                 const Variant& connect, DaoTableDef** out) = 0;
  virtual HRESULT CreateQueryDef(const Variant& name, const Variant& sql, DaoQueryDef** out) = 0;
  virtual HRESULT OpenRecordset(BSTR name, const Variant& type, const Variant& options, const Variant& lock,
                                DaoRecordset** out) = 0;
  virtual HRESULT BeginTrans() = 0;
  virtual HRESULT CommitTrans(int32_t option) = 0;
  virtual HRESULT Rollback() = 0;
  virtual HRESULT Close() = 0;
};

struct DaoEngine : ComObject {
  virtual HRESULT get_Errors(DaoErrors** out) = 0;
  virtual HRESULT OpenDatabase(BSTR name, const Variant& options, const Variant& read_only, const Variant& connect,
                               DaoDatabase** out) = 0;
  virtual HRESULT CreateDatabase(BSTR name, BSTR locale, const Variant& option, DaoDatabase** out) = 0;
};

// The one query the engines run: "select `K` from `T` where `K` > N",
// words without regard to case, both names the same, N a decimal number
// of at most 11 characters;
// anything else is refused.
#include <string>
bool dao_parse_select(const std::string& sql, std::string* key, std::string* table, int64_t* above);

// The text of a VARIANT for call logs: "VT_I4 3", "VT_BOOL -1",
// "VT_BSTR \"text\"", "VT_ERROR" for a left-out argument, "VT_NULL".
#include <string>
std::string dao_variant_text(const Variant& v);
