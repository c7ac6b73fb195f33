// Dialect rows of the DBMS families and the statement builders (see SqlDialect.h).
#include "app/SqlDialect.h"

#include <array>

#include "app/SqlText.h"

namespace {

using F = DbmsFamily;
using S = SpatialIndexForm;
using C = CatalogIndexForm;
using O = CatalogOwnerForm;

// One row per family, in the order of DbmsFamily.
constexpr std::array<SqlDialect, 7> kRows{{
    //                                drop  idxT   idxN   cut uq  xy upper  procs  db2dr  spatial          stats  short  lock   skipK  member        resolv pk     catO   catUp  catIdx                   owner
    {F::Unknown,        "unknown",     true, true,  false, 0,  0,  0, false, false, false, S::None,         false, false, false, false, "QD_MEMBER",  false, true,  true,  false, C::OwnerIndexAndTable, O::CreateUser},
    {F::Informix,       "Informix",    false, true, false, 12, 14, 14, false, false, false, S::InformixRtree, true, false, false, true,  "QD_MEMBER",  true,  true,  true,  false, C::OwnerIndexAndTable, O::CreateUser},
    {F::Db2,            "DB2",         true, true,  false, 12, 14, 0, true,  false, true,  S::Db2Rtree,     false, false, true,  false, "QD_MEMBER",  false, true,  true,  true,  C::OwnerIndexAndTable, O::CreateUser},
    {F::Oracle,         "Oracle",      true, true,  true,  0,  0,  0, false, false, false, S::None,         false, false, false, false, "QD_MEMBER",  false, true,  true,  false, C::OwnerIndexAndTable, O::CreateUser},
    {F::Access,         "Access",      false, false, false, 0, 0,  0, false, false, false, S::None,         false, false, false, false, "QD_MEMBER",  false, false, false, false, C::Plain,              O::CreateUser},
    {F::MsSql,          "MS SQL",      true, true,  false, 0,  0,  0, false, true,  false, S::MsSqlRtree,   true,  true,  false, false, "QD_MEMBER",  false, true,  true,  false, C::OwnerTable,         O::SqlServerLogin},
    {F::OtherSqlServer, "SQL Server",  true, true,  false, 0,  0,  0, false, false, false, S::None,         false, false, false, false, "SQS_MEMBER", false, true,  true,  false, C::OwnerTable,         O::CreateUser},
}};

// Cuts a name stem to `cut` bytes (0 keeps it whole).
std::string Stem(std::string_view table, unsigned cut) {
  return cut ? SqlLeft(table, cut) : std::string(table);
}

// Builds one statement, remembering the first name that cannot be placed.
class Builder {
 public:
  explicit Builder(std::string_view q) : q_(q) {}
  Builder& Raw(std::string_view text) { out_.text += text; return *this; }
  // Q name Q, checked against the quote.
  Builder& Ident(std::string_view name) { Check(name, q_); return Raw(q_).Raw(name).Raw(q_); }
  // A name placed without quotes.
  Builder& Bare(std::string_view name) { Check(name, {}); return Raw(name); }
  // [Q owner Q "."] when `on`.
  Builder& OwnerDot(bool on, std::string_view owner) {
    return on ? Ident(owner).Raw(".") : *this;
  }
  Builder& Lit(std::string_view value) {
    if (out_.fault.empty()) out_.fault = SqlValueFault(value);
    return Raw(SqlLiteral(value));
  }
  SqlStatement Done() { return std::move(out_); }

 private:
  void Check(std::string_view name, std::string_view quote) {
    if (out_.fault.empty()) out_.fault = SqlIdentifierFault(name, quote);
  }
  std::string_view q_;
  SqlStatement out_;
};

SqlStatement ExtensionCall(std::string_view head, std::string_view owner, std::string_view table,
                           std::string_view tail) {
  return Builder({}).Raw(head).Lit(owner).Raw(", ").Lit(table).Raw(tail).Done();
}

std::string Upper(const SqlDialect& d, std::string text) {
  return d.upperCatalog ? SqlUpper(text) : text;
}

// head [Q owner Q "."] Q name Q " on " [Q owner Q "."] Q table Q "(" column ")".
SqlStatement IndexStatement(const SqlDialect& d, std::string_view q, std::string_view head,
                            bool ownerOnName, std::string_view owner, std::string_view name,
                            std::string_view table, std::string_view column) {
  std::string col = d.upperIndexColumns ? SqlUpper(column) : std::string(column);
  return Builder(q)
      .Raw(head)
      .OwnerDot(ownerOnName, owner)
      .Ident(name)
      .Raw(" on ")
      .OwnerDot(d.ownerOnIndexTable, owner)
      .Ident(table)
      .Raw("(")
      .Bare(col)
      .Raw(")")
      .Done();
}

}  // namespace

const SqlDialect& SqlDialectOf(DbmsFamily family) {
  return kRows[static_cast<std::size_t>(family)];
}

const SqlDialect* SqlDialectRows(std::size_t* count) {
  *count = kRows.size();
  return kRows.data();
}

// ---- tables and indexes ----

SqlStatement SqlExtensionDropRtree(std::string_view owner, std::string_view table) {
  return ExtensionCall("sp_qd_drop_rtree ", owner, table, ", 'qd_geometry', 'qd_member'");
}

SqlStatement SqlExtensionDespatialize(std::string_view owner, std::string_view table) {
  return ExtensionCall("sp_qd_despatialize_column ", owner, table,
                       ", 'qd_geometry', 'qd_member'");
}

SqlStatement SqlExtensionSpatialize(std::string_view owner, std::string_view table) {
  return ExtensionCall("exec sp_qd_spatialize_column ", owner, table,
                       ", 'QD_GEOMETRY', 'QD_MEMBER'");
}

SqlStatement SqlDropTable(const SqlDialect& d, std::string_view q, std::string_view owner,
                          std::string_view table) {
  return Builder(q).Raw("drop table ").OwnerDot(d.ownerInDrop, owner).Ident(table).Done();
}

SqlStatement SqlDb2RtreeOf(std::string_view owner, std::string_view table) {
  return Builder({})
      .Raw("SELECT INDEX_TABLE FROM QD2SCH.QD2_RTREE WHERE INDEX_SCHEMA = ")
      .Lit(owner)
      .Raw(" AND BASE_TABLE = ")
      .Lit(table)
      .Done();
}

SqlStatement SqlDb2DropRtree(std::string_view owner, std::string_view index) {
  return Builder({}).Raw("VALUES(QD2SCH.QD2_DROP_RTREE(").Lit(owner).Raw(",").Lit(index)
      .Raw("))").Done();
}

SqlStatement SqlCreateIndex(const SqlDialect& d, std::string_view q, std::string_view owner,
                            std::string_view table, std::string_view column,
                            std::string_view suffix, std::string_view nameEnd) {
  std::string name = Stem(table, d.indexStemCut) + std::string(suffix) + std::string(nameEnd);
  return IndexStatement(d, q, "create index ", d.ownerOnIndexName, owner, name, table, column);
}

SqlStatement SqlCreateUniqueIndex(const SqlDialect& d, std::string_view q,
                                  std::string_view owner, std::string_view table,
                                  std::string_view column, std::string_view nameEnd) {
  std::string name = Stem(table, d.uniqueStemCut) + std::string(nameEnd);
  return IndexStatement(d, q, "create unique index ", false, owner, name, table, column);
}

SqlStatement SqlCreateXYIndex(const SqlDialect& d, std::string_view q, std::string_view owner,
                              std::string_view table, std::string_view column,
                              std::string_view tag) {
  std::string name = Stem(table, d.xyStemCut) + std::string(tag);
  return IndexStatement(d, q, "create index ", d.ownerOnIndexName, owner, name, table, column);
}

SqlStatement SqlCreateSpatialIndex(const SqlDialect& d, std::string_view owner,
                                   std::string_view table, std::string_view column) {
  Builder b({});
  switch (d.spatialIndex) {
    case SpatialIndexForm::None:
      break;
    case SpatialIndexForm::InformixRtree:
      b.Raw("create index KT").Bare(table).Raw("IND on ").Bare(owner).Raw(".").Bare(table)
          .Raw("(").Bare(column).Raw(" KT_Ops) using rtree");
      break;
    case SpatialIndexForm::Db2Rtree:
      b.Raw("VALUES(QD2SCH.QD2_CREATE_RTREE(").Lit(owner).Raw(",").Lit(table)
          .Raw(",'QD_MEMBER','QD_GEOMETRY',").Lit(std::string(table) + "_R").Raw("))");
      break;
    case SpatialIndexForm::MsSqlRtree:
      b.Raw("exec sp_qd_create_rtree ").Lit(owner).Raw(",").Lit(table)
          .Raw(",'QD_GEOMETRY','QD_MEMBER', null, null, null");
      break;
  }
  return b.Done();
}

SqlStatement SqlUpdateStatistics(const SqlDialect& d, std::string_view owner,
                                 std::string_view table) {
  return Builder({})
      .Raw(d.shortStatistics ? "update statistics " : "update statistics medium for table ")
      .Bare(owner)
      .Raw(".")
      .Bare(table)
      .Done();
}

SqlStatement SqlLockTable(std::string_view q, std::string_view owner, std::string_view table) {
  return Builder(q).Raw("LOCK TABLE ").Ident(owner).Raw(".").Ident(table)
      .Raw("  IN SHARE MODE").Done();
}

SqlStatement SqlMaxKey(const SqlDialect& d, std::string_view q, std::string_view owner,
                       std::string_view table, int storageKind) {
  Builder b(q);
  b.Raw("select MAX(").Raw(storageKind == 1 ? d.memberColumn : "CV_SQL_REC_NUM").Raw(") from ");
  return b.OwnerDot(d.ownerOnIndexTable, owner).Ident(table).Done();
}

// ---- catalogue ----

std::string SqlCatalogRef(const SqlDialect& d, std::string_view q) {
  std::string s;
  if (d.catalogOwnerPrefix) s.append(q).append(kCatalogOwner).append(q).append(".");
  return s.append(q).append(kCatalogTable).append(q);
}

std::string SqlCatalogProbe(const SqlDialect& d) {
  return d.catalogOwnerPrefix ? "select 1 from CORVANE.CORVANE_MAPCATALOG"
                              : "select 1 from CORVANE_MAPCATALOG";
}

std::string SqlRenditionProbe(const SqlDialect& d, std::string_view q) {
  return "select  RENDITIONTYPE, RENDITIONCOLUMN from " + SqlCatalogRef(d, q);
}

std::string SqlCatalogExists(const SqlDialect& d, std::string_view q) {
  return Upper(d, "select 1 from " + SqlCatalogRef(d, q));
}

std::string SqlCountCatalogRows(const SqlDialect& d, std::string_view q) {
  return "select count(*) from " + SqlCatalogRef(d, q);
}

std::string SqlReadCatalogEntry(const SqlDialect& d, std::string_view q, std::string_view table,
                                std::string_view owner, bool noRenditionColumns) {
  std::string s = "select DB_X_LL, DB_Y_LL, DB_X_UR, DB_Y_UR";
  if (!noRenditionColumns) s += ", RENDITIONTYPE, RENDITIONCOLUMN";
  return s + " from " + SqlCatalogRef(d, q) + " where (TABLENAME = " + SqlLiteral(table) +
         " and OWNERNAME = " + SqlLiteral(owner) + " )";
}

std::string SqlDeleteCatalogEntry(const SqlDialect& d, std::string_view q,
                                  std::string_view owner, std::string_view table) {
  return "delete from " + SqlCatalogRef(d, q) + " where TABLENAME = " + SqlLiteral(table) +
         " and OWNERNAME = " + SqlLiteral(owner);
}

std::string SqlListCatalogOwners(const SqlDialect& d, std::string_view q) {
  return "select DISTINCT(OWNERNAME) from " + SqlCatalogRef(d, q) + " order by OWNERNAME";
}

std::string SqlListCatalogTables(const SqlDialect& d, std::string_view q,
                                 std::string_view owner) {
  return "select TABLENAME from " + SqlCatalogRef(d, q) + " where OWNERNAME=" +
         SqlLiteral(owner) + " order by TABLENAME";
}

std::string SqlCreateCatalogTable(const SqlDialect& d) {
  std::string s = d.catalogOwnerPrefix ? "CREATE TABLE CORVANE.CORVANE_MAPCATALOG"
                                       : "CREATE TABLE CORVANE_MAPCATALOG";
  s += "(SPATIALTYPE FLOAT,TABLENAME VARCHAR(32),OWNERNAME VARCHAR(32),"
       "SPATIALCOLUMN VARCHAR(32),DB_X_LL FLOAT,DB_Y_LL FLOAT,DB_X_UR FLOAT,DB_Y_UR FLOAT,"
       "COORDINATESYSTEM VARCHAR(254),SYMBOL VARCHAR(254),XCOLUMNNAME VARCHAR(32),"
       "YCOLUMNNAME VARCHAR(32), RENDITIONTYPE INTEGER, RENDITIONCOLUMN VARCHAR(32), "
       "RENDITIONTABLE VARCHAR(32), NUMBER_ROWS INTEGER)";
  return Upper(d, s);
}

std::string SqlCreateCatalogIndex(const SqlDialect& d) {
  switch (d.catalogIndex) {
    case CatalogIndexForm::Plain:
      return "CREATE UNIQUE INDEX MAPCATALOG_IDX on CORVANE_MAPCATALOG(TABLENAME,OWNERNAME)";
    case CatalogIndexForm::OwnerTable:
      return "CREATE UNIQUE INDEX MAPCATALOG_IDX on "
             "CORVANE.CORVANE_MAPCATALOG(TABLENAME,OWNERNAME)";
    case CatalogIndexForm::OwnerIndexAndTable:
      break;
  }
  return Upper(d, "CREATE UNIQUE INDEX CORVANE.MAPCATALOG_IDX on "
                  "CORVANE.CORVANE_MAPCATALOG(TABLENAME,OWNERNAME)");
}

std::string SqlGrantCatalog(const SqlDialect& d) {
  return d.catalogOwnerPrefix
             ? "GRANT SELECT, INSERT, UPDATE, DELETE ON CORVANE.CORVANE_MAPCATALOG TO PUBLIC"
             : "GRANT SELECT, INSERT, UPDATE, DELETE ON CORVANE_MAPCATALOG TO PUBLIC";
}

// ---- catalogue owner ----

std::string SqlLoginExists(std::string_view login) {
  return "select name from master.dbo.syslogins where name =" + SqlLiteral(login);
}

std::string SqlUserExists(std::string_view user) {
  return "select name from dbo.sysusers where name =" + SqlLiteral(user);
}

std::string SqlSchemaExists(std::string_view schema, std::string_view database) {
  return "select SCHEMA_NAME from INFORMATION_SCHEMA.SCHEMATA where SCHEMA_NAME =" +
         SqlLiteral(schema) + " and CATALOG_NAME = " + SqlLiteral(database);
}

SqlStatement SqlCreateLogin(bool newForms, std::string_view login, std::string_view password,
                            std::string_view database) {
  Builder b({});
  if (!newForms)
    return b.Raw("exec sp_addlogin ").Lit(login).Raw(", ").Lit(password).Raw(", ")
        .Lit(database).Done();
  return b.Raw("CREATE LOGIN ").Bare(login).Raw(" WITH PASSWORD = ").Lit(password)
      .Raw(", DEFAULT_DATABASE = ").Bare(database)
      .Raw(", CHECK_EXPIRATION = OFF, CHECK_POLICY = OFF").Done();
}

std::string SqlCreateSqlServerUser(bool newForms, std::string_view user) {
  std::string u(user);
  return newForms ? "CREATE USER " + u + " FOR LOGIN " + u
                  : "exec sp_adduser " + SqlLiteral(user) + ", " + SqlLiteral(user);
}

std::string SqlGrantCreate(std::string_view user) {
  return "GRANT Create Table, Create View to " + std::string(user);
}

void SqlCreateSchemaFor(std::string_view schema, std::string_view user, std::string out[4]) {
  std::string s(schema), u(user);
  out[0] = "create schema " + s;
  out[1] = "ALTER USER " + u + " WITH DEFAULT_SCHEMA = " + s;
  out[2] = "GRANT TAKE OWNERSHIP ON SCHEMA::" + s + " TO " + u;
  out[3] = "GRANT CONTROL ON SCHEMA::" + s + " TO " + u;
}

std::string SqlCreateUser(std::string_view user, std::string_view password) {
  return "CREATE USER " + std::string(user) + " IDENTIFIED BY " + std::string(password) +
         " DEFAULT TABLESPACE USERS ACCOUNT UNLOCK";
}

std::string SqlGrantUser(std::string_view user) {
  return "Grant resource,connect to " + std::string(user);
}
