// Parameter values of one row (see RowValues.h).
#include "app/RowValues.h"

namespace upload {

namespace {

bool Digits(const std::string& s, size_t pos, size_t n, int& v) {
  if (pos + n > s.size()) return false;
  v = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  return true;
}

BoundValue Text(const std::string& text, SQLSMALLINT sqlType, SQLSMALLINT decimals = 0) {
  BoundValue v;
  v.cType = SQL_C_CHAR;
  v.sqlType = sqlType;
  v.text = text;
  v.columnSize = text.size() + 1;
  v.decimals = decimals;
  return v;
}

BoundValue Timestamp(SQLULEN size, SQLSMALLINT decimals) {
  BoundValue v;
  v.cType = SQL_C_TYPE_TIMESTAMP;
  v.sqlType = SQL_TYPE_TIMESTAMP;
  v.columnSize = size;
  v.decimals = decimals;
  return v;
}

BoundValue Integer(int value) {
  BoundValue v;
  v.cType = SQL_C_SLONG;
  v.sqlType = SQL_INTEGER;
  v.integer = value;
  return v;
}

BoundValue Double(double value, bool null) {
  BoundValue v;
  v.cType = SQL_C_DOUBLE;
  v.sqlType = SQL_DOUBLE;
  v.real = value;
  v.null = null;
  return v;
}

BoundValue Bytes(const RowObject& o, SQLSMALLINT sqlType) {
  BoundValue v;
  v.cType = SQL_C_BINARY;
  v.sqlType = sqlType;
  v.bytes = o.bytes;
  v.byteCount = o.size;
  v.columnSize = o.size > 0 ? static_cast<SQLULEN>(o.size) : 1;
  v.null = o.bytes == nullptr || o.size <= 0;
  return v;
}

// One source field by the column's type; false when a date or time field is
// not in its raw digit form.
bool FieldValue(const SqlFamily& f, const UploadColumn& c, const std::string& field, const Today& today,
                std::vector<BoundValue>& out, std::string* error) {
  switch (c.type) {
    case kValueChar:
      out.push_back(Text(field, SQL_CHAR));
      return true;
    case kValueDecimal:
      out.push_back(f.access ? Text(field, SQL_DOUBLE) : Text(field, SQL_DECIMAL, static_cast<SQLSMALLINT>(c.decimals)));
      return true;
    case kValueInteger:
      out.push_back(Text(field, SQL_INTEGER));
      return true;
    case kValueSmallInt:
      out.push_back(Text(field, SQL_SMALLINT));
      return true;
    case kValueFloat:
      out.push_back(Text(field, SQL_DOUBLE));
      return true;
    case kValueLogical: {
      BoundValue v;
      v.cType = SQL_C_SSHORT;
      v.sqlType = SQL_SMALLINT;
      v.small = !field.empty() && (field[0] == 'T' || field[0] == 't') ? 1 : 0;
      out.push_back(v);
      return true;
    }
    default:
      break;
  }
  const bool isDate = c.type == kValueDate, isTime = c.type == kValueTime, isDateTime = c.type == kValueDateTime;
  if (!isDate && !isTime && !isDateTime) return true;  // binds nothing

  // Dates are timestamps at midnight on SQL Server and Access.
  BoundValue v = isDate ? Timestamp(19, 0) : Timestamp(23, 3);
  if (isDate && !(f.sqlServer || f.access)) {
    v.cType = SQL_C_TYPE_DATE;
    v.sqlType = SQL_TYPE_DATE;
    v.columnSize = 10;
  }
  if (field.empty()) {
    v.null = true;
    out.push_back(v);
    return true;
  }
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  bool ok;
  if (isDate) {
    ok = field.size() == 8 && Digits(field, 0, 4, y) && Digits(field, 4, 2, mo) && Digits(field, 6, 2, d);
  } else if (isTime) {
    ok = (field.size() == 6 || field.size() == 9) && Digits(field, 0, 2, h) && Digits(field, 2, 2, mi) &&
         Digits(field, 4, 2, s) && (field.size() == 6 || Digits(field, 6, 3, ms));
    y = today.year;
    mo = today.month;
    d = f.oracle ? 1 : today.day;
  } else {
    ok = (field.size() == 14 || field.size() == 17) && Digits(field, 0, 4, y) && Digits(field, 4, 2, mo) &&
         Digits(field, 6, 2, d) && Digits(field, 8, 2, h) && Digits(field, 10, 2, mi) && Digits(field, 12, 2, s) &&
         (field.size() == 14 || Digits(field, 14, 3, ms));
  }
  if (!ok) {
    if (error) *error = "column " + c.name + ": \"" + field + "\" is not a valid " +
                        (isDate ? "date" : isTime ? "time" : "date and time");
    return false;
  }
  if (v.cType == SQL_C_TYPE_DATE) {
    v.date = {static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo), static_cast<SQLUSMALLINT>(d)};
  } else {
    v.timestamp.year = static_cast<SQLSMALLINT>(y);
    v.timestamp.month = static_cast<SQLUSMALLINT>(mo);
    v.timestamp.day = static_cast<SQLUSMALLINT>(d);
    v.timestamp.hour = static_cast<SQLUSMALLINT>(h);
    v.timestamp.minute = static_cast<SQLUSMALLINT>(mi);
    v.timestamp.second = static_cast<SQLUSMALLINT>(s);
    v.timestamp.fraction = static_cast<SQLUINTEGER>(ms) * 1000000u;
  }
  out.push_back(v);
  return true;
}

}  // namespace

void* BoundValue::Data() {
  switch (cType) {
    case SQL_C_CHAR:
      return text.data();
    case SQL_C_TYPE_TIMESTAMP:
      return &timestamp;
    case SQL_C_TYPE_DATE:
      return &date;
    case SQL_C_SSHORT:
      return &small;
    case SQL_C_SLONG:
      return &integer;
    case SQL_C_DOUBLE:
      return &real;
    default:
      return const_cast<unsigned char*>(bytes);
  }
}

SQLLEN BoundValue::BufferLength() const {
  switch (cType) {
    case SQL_C_CHAR:
      return static_cast<SQLLEN>(text.size() + 1);
    case SQL_C_TYPE_TIMESTAMP:
      return sizeof timestamp;
    case SQL_C_TYPE_DATE:
      return sizeof date;
    case SQL_C_SSHORT:
      return sizeof small;
    case SQL_C_SLONG:
      return sizeof integer;
    case SQL_C_DOUBLE:
      return sizeof real;
    default:
      return byteCount;
  }
}

SQLRETURN BoundValue::Bind(SQLHSTMT stmt, SQLUSMALLINT number) {
  if (null)
    indicator = SQL_NULL_DATA;
  else if (cType == SQL_C_CHAR)
    indicator = SQL_NTS;
  else
    indicator = BufferLength();
  return SQLBindParameter(stmt, number, SQL_PARAM_INPUT, cType, sqlType, columnSize, decimals, Data(),
                          BufferLength(), &indicator);
}

bool BuildRowValues(const RowContext& ctx, const std::string& rowText, const RowObject& object,
                    std::vector<BoundValue>& out, std::string* error) {
  out.clear();
  const SqlFamily& f = *ctx.family;
  const std::vector<UploadColumn>& columns = *ctx.columns;

  size_t pos = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (pos > rowText.size()) {
      if (error) *error = "the row has fewer fields than the table has columns";
      return false;
    }
    size_t tab = rowText.find('\t', pos);
    if (tab == std::string::npos) tab = rowText.size();
    const std::string field = rowText.substr(pos, tab - pos);
    pos = tab + 1;
    if (!ctx.plan->included[i]) continue;
    if (!FieldValue(f, columns[i], field, ctx.today, out, error)) return false;
  }
  if (columns.empty() ? !rowText.empty() : pos <= rowText.size()) {
    if (error) *error = "the row has more fields than the table has columns";
    return false;
  }

  if (ctx.mappable && ctx.styleEnabled) {
    BoundValue v = Text(object.styleClause, SQL_CHAR);
    v.null = object.styleClause.empty() || EqualsNoCase(object.styleClause, ctx.defaultStyle);
    out.push_back(v);
  }

  const TrailingParams& p = ctx.trailing;
  if (ctx.storageKind == 1) {
    if (p.key) out.push_back(Integer(object.key));
    if (p.record) {
      const SQLSMALLINT type = f.informix ? kSqlInformixUdt : f.db2 ? kSqlDb2Blob : SQL_LONGVARBINARY;
      out.push_back(Bytes(object, type));
    }
  } else {
    if (p.key) out.push_back(Integer(object.key));
    if (p.xy) {
      const bool nullXY = object.noObject && !f.oracle && !f.access;
      out.push_back(Double(object.noObject ? 0 : object.x, nullXY));
      out.push_back(Double(object.noObject ? 0 : object.y, nullXY));
    }
    if (p.code) out.push_back(Text(object.noObject ? std::string() : object.codeKey, SQL_CHAR));
  }
  return true;
}

}  // namespace upload
