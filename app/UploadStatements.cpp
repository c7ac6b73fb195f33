// Statement texts of the ODBC uploader (see UploadStatements.h).
#include "app/UploadStatements.h"

#include "app/SqlDialect.h"
#include "app/SqlText.h"

#include <algorithm>
#include <charconv>

namespace upload {

namespace {

// Appends list entries: the first preceded by a blank, each further one by ",".
class List {
 public:
  void Add(const std::string& item) {
    text_ += started_ ? "," : " ";
    started_ = true;
    text_ += item;
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  bool started_ = false;
};

std::string OwnerPart(const SqlFamily& f, const std::string& owner) {
  // An empty owner leaves the table name alone rather than writing ".T".
  if (f.access || owner.empty()) return {};
  return owner + ".";
}

std::string TablePart(const SqlFamily& f, const std::string& table) { return f.quote + table + f.quote; }

// The table part with its double quotes blanked and trimmed: the stem of
// key-constraint names.
std::string ConstraintStem(const SqlFamily& f, const std::string& table) {
  std::string t = TablePart(f, table);
  std::replace(t.begin(), t.end(), '"', ' ');
  return SqlTrim(t);
}

std::string SerialKey(const StatementSettings& s, const SqlFamily& f) {
  if (s.keyConstraint) return "serial not null primary key constraint " + ConstraintStem(f, s.table) + s.keySuffix;
  return "serial ";
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) { return SqlUpper(a) == SqlUpper(b); }

std::string FormatBound(double v) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
  if (r.ec != std::errc()) return "0.000000";
  return std::string(buf, r.ptr);
}

std::string SqlFamily::TypeNameFor(int type) const {
  auto it = typeNames.find(type);
  return it == typeNames.end() ? std::string() : it->second;
}

ColumnPlan PlanColumns(const std::vector<UploadColumn>& columns, bool mappable) {
  ColumnPlan plan;
  plan.included.assign(columns.size(), true);
  for (size_t i = 0; i < columns.size(); ++i) {
    const std::string name = SqlTrim(columns[i].name);
    if (EqualsNoCase(name, "qd_member")) {
      plan.included[i] = false;
      plan.memberPos = static_cast<int>(i);
    } else if (mappable && EqualsNoCase(name, "qd_geometry")) {
      plan.included[i] = false;
      plan.geometryPos = static_cast<int>(i);
    }
  }
  return plan;
}

std::string ColumnTypeText(const SqlFamily& f, int type, int precision, int decimals) {
  switch (type) {
    case kValueChar:
      return f.TypeNameFor(type) + "(" + std::to_string(precision) + ")";
    case kValueDecimal:
      return f.TypeNameFor(type) + "(" + std::to_string(precision) + "," + std::to_string(decimals) + ")";
    case kValueInteger:
    case kValueSmallInt:
    case kValueDate:
    case kValueLogical:
    case kValueFloat:
    case kValueTime:
    case kValueDateTime:
      return f.TypeNameFor(type);
    default:
      return {};
  }
}

std::string BuildCreateTable(const SqlFamily& f, const std::vector<UploadColumn>& columns,
                             const StatementSettings& s) {
  const std::string tablePart = TablePart(f, s.table);
  std::string sql = "create table " + OwnerPart(f, s.owner) + tablePart + "(";
  List list;
  const ColumnPlan plan = PlanColumns(columns, s.mappable);
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!plan.included[i]) continue;
    const UploadColumn& c = columns[i];
    std::string type = ColumnTypeText(f, c.type, c.precision, c.decimals);
    if (f.oracle && EqualsNoCase(type, "INTEGER")) type = "NUMBER(10)";
    if (f.oracle && EqualsNoCase(type, "SMALLINT")) type = "NUMBER(5)";
    if (f.access && type.compare(0, 6, "DOUBLE") == 0) type = "DOUBLE";
    list.Add(SqlTrim(c.name) + " " + type);
  }
  if (s.mappable && s.styleEnabled) list.Add(s.styleColumn + " VARCHAR(254)");

  if (s.storageKind != 1) {
    const bool lower = f.informix;
    std::string key;
    if (f.informix) {
      key = "cv_sql_rec_num " + SerialKey(s, f);
    } else if (f.oracle) {
      key = "CV_SQL_REC_NUM ";
      key += s.keyConstraint ? "NUMBER(10) CONSTRAINT " + ConstraintStem(f, s.table) + s.keySuffix +
                                   " PRIMARY KEY NOT DEFERRABLE"
                             : "NUMBER(10) NOT NULL";
    } else if (f.access) {
      key = std::string("CV_SQL_REC_NUM ") + (s.keyConstraint ? "INTEGER  PRIMARY KEY" : "INTEGER NOT NULL");
    } else {
      key = "CV_SQL_REC_NUM ";
      if (f.sqlServer)
        key += s.identityKey ? "INTEGER PRIMARY KEY IDENTITY" : "INTEGER PRIMARY KEY";
      else
        key += "INTEGER";
    }
    list.Add(key);
    if (s.mappable) {
      const std::string coord = lower ? "float" : f.access ? "DOUBLE" : "FLOAT";
      list.Add((lower ? "cv_sql_x " : "CV_SQL_X ") + coord);
      list.Add((lower ? "cv_sql_y " : "CV_SQL_Y ") + coord);
      if (s.storageKind == 2) list.Add(lower ? "cv_sql_cvcode varchar(18)" : "CV_SQL_CVCODE VARCHAR(18)");
    }
  } else if (f.informix) {
    list.Add("qd_member " + SerialKey(s, f));
    if (f.extension && s.mappable) list.Add("qd_geometry st_spatial");
  } else if (f.db2) {
    list.Add(std::string("QD_MEMBER ") + (s.keyConstraint ? "INTEGER PRIMARY KEY" : "INTEGER"));
    if (s.mappable) list.Add("QD_GEOMETRY ST_SPATIAL_TYPE");
  } else if (f.sqlServer) {
    list.Add(std::string("QD_MEMBER ") + (s.identityKey ? "INTEGER PRIMARY KEY IDENTITY" : "INTEGER PRIMARY KEY"));
    if (f.extension && s.mappable) list.Add("QD_GEOMETRY ST_SPATIAL");
  } else if (f.sqlServerOther) {
    list.Add("SQS_MEMBER integer primary key");
    if (s.mappable) {
      static const char* const kinds[] = {" POINT", " LINE_SET", " POLYGON_SET"};
      if (s.objectKind < 0 || s.objectKind > 2) return {};
      list.Add(std::string("SQS_GEOMETRY") + kinds[s.objectKind] + " key to primary key index " + tablePart +
               "_SQS_IDX");
    }
  }
  return sql + list.Text() + ")";
}

TrailingParams PlanTrailingParams(const SqlFamily& f, const StatementSettings& s) {
  TrailingParams p;
  if (s.storageKind != 1) {
    p.key = !f.informix && !(f.sqlServer && s.identityKey);
    p.xy = s.mappable;
    p.code = s.mappable && s.storageKind == 2;
  } else if (f.extension || f.sqlServerOther) {
    // The other SQL Server stores its objects natively: its key and
    // geometry columns exist whether or not an extension was detected, as
    // CREATE TABLE makes them, so they are filled.
    if (f.informix) {
      p.record = s.mappable;
    } else if (f.db2 || f.sqlServerOther) {
      p.key = true;
      p.record = s.mappable;
    } else if (f.sqlServer) {
      p.key = !s.identityKey;
      p.record = s.mappable;
    }
  }
  return p;
}

InsertStatement BuildInsertStatement(const SqlFamily& f, const std::vector<UploadColumn>& columns,
                                     const StatementSettings& s) {
  InsertStatement out;
  List names, values;
  const ColumnPlan plan = PlanColumns(columns, s.mappable);
  out.buffers.assign(columns.size(), BufferKind::None);
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!plan.included[i]) continue;
    names.Add(SqlTrim(columns[i].name));
    values.Add("?");
    switch (columns[i].type) {
      case kValueDate:
        out.buffers[i] = f.sqlServer || f.access ? BufferKind::Timestamp : BufferKind::Date;
        break;
      case kValueTime:
      case kValueDateTime:
        out.buffers[i] = BufferKind::Timestamp;
        break;
      case kValueLogical:
        out.buffers[i] = BufferKind::Logical;
        break;
      default:
        break;
    }
  }
  if (s.mappable && s.styleEnabled) {
    names.Add(s.styleColumn);
    values.Add("?");
  }
  const TrailingParams p = PlanTrailingParams(f, s);
  if (s.storageKind != 1) {
    const bool lower = f.informix;
    if (f.informix) {
      names.Add("cv_sql_rec_num");
      values.Add("0");
    } else if (p.key) {
      names.Add("CV_SQL_REC_NUM");
      values.Add("?");
    }
    if (p.xy) {
      names.Add(lower ? "cv_sql_x" : "CV_SQL_X");
      values.Add("?");
      names.Add(lower ? "cv_sql_y" : "CV_SQL_Y");
      values.Add("?");
    }
    if (p.code) {
      names.Add(lower ? "cv_sql_cvcode" : "CV_SQL_CVCODE");
      values.Add("?");
    }
  } else if (f.extension || f.sqlServerOther) {
    if (f.informix) {
      names.Add("qd_member");
      values.Add("0");
      if (p.record) {
        names.Add("qd_geometry");
        values.Add("?");
      }
    } else if (f.db2) {
      names.Add("QD_MEMBER");
      if (p.record) names.Add("QD_GEOMETRY");
      values.Add(p.record ? "?,qd2_morph_in( CAST(? AS ST_SPATIAL_TYPE))" : "?");
    } else if (f.sqlServer) {
      if (p.key) {
        names.Add("QD_MEMBER");
        values.Add("?");
      }
      if (p.record) {
        names.Add("QD_GEOMETRY");
        values.Add("?");
      }
    } else if (f.sqlServerOther) {
      names.Add("SQS_MEMBER");
      values.Add("?");
      if (p.record) {
        names.Add("SQS_GEOMETRY");
        values.Add("?");
      }
    }
  }
  out.text = "insert into " + OwnerPart(f, s.owner) + TablePart(f, s.table) + "(" + names.Text() + ") values (" +
             values.Text() + ")";
  return out;
}

std::string BuildExistenceTest(const SqlFamily& f, const std::string& owner, const std::string& table) {
  std::string sql = "select 1 from ";
  if (!f.access && !f.informix && !owner.empty()) sql += owner + ".";
  return sql + table;
}

std::string BuildGrant(const SqlFamily& f, const std::string& owner, const std::string& table) {
  const std::string& q = f.quote;
  if (f.access) return "grant all on " + q + table + q + " to public";
  return "grant all on " + q + owner + q + "." + q + table + q + " to public";
}

std::string BuildQueryText(const SqlFamily& f, const std::string& database, const std::string& owner,
                           const std::string& table) {
  std::string sql = "select * from ";
  if (!f.access) {
    if (!database.empty()) sql += database + (f.informix ? ":" : ".");
    sql += owner + ".";
  }
  return sql + table;
}

void SetCatalogStorage(CatalogRow& row, const SqlFamily& f, int storageKind, const std::string& typeCode,
                       const std::string& kindText) {
  if (storageKind == 1) {
    row.spatialType = typeCode + kindText;
    row.spatialColumn = f.sqlServerOther ? "SQS_GEOMETRY" : "QD_GEOMETRY";
    row.xColumn = row.yColumn = "NO_COLUMN";
  } else {
    row.spatialType = storageKind == 3 ? "4.0" : "1.0";
    row.spatialColumn = storageKind == 2 ? "CV_SQL_CVCODE" : "";
    row.xColumn = "CV_SQL_X";
    row.yColumn = "CV_SQL_Y";
  }
}

std::string CatalogRef(const SqlFamily& f) {
  const std::string& q = f.quote;
  std::string ref;
  if (!f.access) ref = q + "CORVANE" + q + ".";
  return ref + q + "CORVANE_MAPCATALOG" + q;
}

namespace {

std::string WhereTableOwner(const std::string& table, const std::string& owner) {
  return " where  TABLENAME  =  " + SqlLiteral(table) + " and OWNERNAME =  " + SqlLiteral(owner);
}

}  // namespace

std::string BuildCatalogInsert(const SqlFamily& f, const CatalogRow& row, const std::string& table,
                               const std::string& owner, bool renditionColumns, bool styleEnabled) {
  const bool rendition = renditionColumns && styleEnabled;
  std::string sql = "insert into " + CatalogRef(f) +
                    " (SPATIALTYPE, TABLENAME, OWNERNAME, SPATIALCOLUMN, DB_X_LL, DB_Y_LL, DB_X_UR, DB_Y_UR, "
                    "COORDINATESYSTEM, SYMBOL, XCOLUMNNAME, YCOLUMNNAME";
  if (rendition) sql += ", RENDITIONTYPE, RENDITIONCOLUMN, RENDITIONTABLE";
  sql += ") values ( " + row.spatialType + ", " + SqlLiteral(table) + ", " + SqlLiteral(owner) + ", " +
         SqlLiteral(row.spatialColumn) + ", " + FormatBound(row.bounds[0]) + ", " + FormatBound(row.bounds[1]) +
         ", " + FormatBound(row.bounds[2]) + ", " + FormatBound(row.bounds[3]) + ", " + SqlLiteral(row.coordSys) +
         ", " + SqlLiteral(row.symbol) + ", " + SqlLiteral(row.xColumn) + ", " + SqlLiteral(row.yColumn);
  if (rendition)
    sql += ", " + std::to_string(row.renditionType) + ", " + SqlLiteral(row.renditionColumn) + ", " +
           SqlLiteral(row.renditionTable);
  return sql + ")";
}

std::string BuildCatalogUpdate(const SqlFamily& f, const CatalogRow& row, const std::string& table,
                               const std::string& owner, bool renditionColumns, bool styleEnabled) {
  std::string sql = "update " + CatalogRef(f) + " SET  SPATIALTYPE  = " + row.spatialType +
                    ", SPATIALCOLUMN = " + SqlLiteral(row.spatialColumn) +
                    ", DB_X_LL  = " + FormatBound(row.bounds[0]) + ", DB_Y_LL = " + FormatBound(row.bounds[1]) +
                    ", DB_X_UR = " + FormatBound(row.bounds[2]) + ", DB_Y_UR = " + FormatBound(row.bounds[3]) +
                    ", COORDINATESYSTEM = " + SqlLiteral(row.coordSys) + ", SYMBOL = " + SqlLiteral(row.symbol) +
                    ", XCOLUMNNAME = " + SqlLiteral(row.xColumn) + ", YCOLUMNNAME = " + SqlLiteral(row.yColumn);
  if (renditionColumns) {
    if (styleEnabled)
      sql += ", RENDITIONTYPE = " + std::to_string(row.renditionType) +
             ", RENDITIONCOLUMN = " + SqlLiteral(row.renditionColumn) +
             ", RENDITIONTABLE = " + SqlLiteral(row.renditionTable);
    else
      sql += ", RENDITIONTYPE = 0, RENDITIONCOLUMN = '', RENDITIONTABLE = ''";
  }
  return sql + WhereTableOwner(table, owner);
}

std::string BuildCatalogBoundsUpdate(const SqlFamily& f, const double bounds[4], const std::string& table,
                                     const std::string& owner) {
  return "update " + CatalogRef(f) + " SET DB_X_LL  = " + FormatBound(bounds[0]) +
         ", DB_Y_LL = " + FormatBound(bounds[1]) + ", DB_X_UR = " + FormatBound(bounds[2]) +
         ", DB_Y_UR = " + FormatBound(bounds[3]) + WhereTableOwner(table, owner);
}

std::string BuildSetProjection(const SqlFamily& f, const std::string& coordSys) {
  const std::string cs = SqlLiteral(coordSys);
  if (f.informix) return "execute function KT_SetProjection(" + cs + ")";
  if (f.oracle) return "Select KT_SetProjection(" + cs + ") from KT_PROJECT";
  if (f.db2) return "values(kt_SetProjection(" + cs + "))";
  if (f.sqlServer)
    // The call is itself a literal handed to sp_spatial_query, so the
    // clause's quotes are doubled twice.
    return "exec sp_spatial_query " +
           SqlLiteral("select KT_SetProjection(" + cs + ") from CORVANE.CORVANE_MAPCATALOG");
  return {};
}

}  // namespace upload
