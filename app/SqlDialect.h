// The SQL dialects of the DBMS families the ODBC connection serves: one row of
// rules per family, and the statement builders that turn those rules, the
// identifier quote and the names into the statements the connection runs for
// tables, indexes, keys and the spatial catalogue. Builders are pure: they run
// nothing and only check the names they place as identifiers.
#pragma once

#include <string>
#include <string_view>

enum class DbmsFamily { Unknown, Informix, Db2, Oracle, Access, MsSql, OtherSqlServer };

// How a family makes its spatial index.
enum class SpatialIndexForm { None, InformixRtree, Db2Rtree, MsSqlRtree };

// How the catalogue's unique index is named and placed.
enum class CatalogIndexForm { Plain, OwnerTable, OwnerIndexAndTable };

// How the catalogue owner is made.
enum class CatalogOwnerForm { CreateUser, SqlServerLogin };

struct SqlDialect {
  DbmsFamily family;
  const char* name;
  bool ownerInDrop;             // drop table names the owner
  bool ownerOnIndexTable;       // index statements name the table's owner
  bool ownerOnIndexName;        // index names carry the owner in front
  unsigned indexStemCut;        // CreateIndex stem length (0: whole name)
  unsigned uniqueStemCut;       // CreateUniqueIndex stem length
  unsigned xyStemCut;           // CreateXYIndexes / CreateKeyIndex stem length
  bool upperIndexColumns;       // column names of index statements in upper case
  bool extensionProcedures;     // sp_qd_* procedures of the spatial extension
  bool db2RtreeDrop;            // the R-tree is dropped after the table
  SpatialIndexForm spatialIndex;
  bool statisticsAfterIndex;    // UpdateStatistics follows a spatial index
  bool shortStatistics;         // "update statistics o.t" without "medium for table"
  bool lockTable;               // LockTable runs a share lock
  bool skipKeyForGeometry;      // NextKey is 0 for storage kind 1
  const char* memberColumn;     // key column of storage kind 1
  bool resolveOwner;            // ResolveTableOwner asks the driver
  bool primaryKeys;             // GetPrimaryKeyColumn asks the driver
  bool catalogOwnerPrefix;      // catalogue references name CORVANE
  bool upperCatalog;            // catalogue statements in upper case
  CatalogIndexForm catalogIndex;
  CatalogOwnerForm catalogOwner;
};

// The row of a family; `DbmsFamily::Unknown` gives the rules of no family.
const SqlDialect& SqlDialectOf(DbmsFamily family);

// Every row, in the order of `DbmsFamily`.
const SqlDialect* SqlDialectRows(std::size_t* count);

// A statement or the reason it cannot be made (`fault` not empty).
struct SqlStatement {
  std::string text;
  std::string fault;
  bool Ok() const { return fault.empty(); }
};

// Names of the catalogue and its owner.
inline constexpr std::string_view kCatalogOwner = "CORVANE";
inline constexpr std::string_view kCatalogTable = "CORVANE_MAPCATALOG";

// Table statements. `q` is the connection's identifier quote.
SqlStatement SqlExtensionDropRtree(std::string_view owner, std::string_view table);
SqlStatement SqlExtensionDespatialize(std::string_view owner, std::string_view table);
SqlStatement SqlExtensionSpatialize(std::string_view owner, std::string_view table);
SqlStatement SqlDropTable(const SqlDialect& d, std::string_view q, std::string_view owner,
                          std::string_view table);
SqlStatement SqlDb2RtreeOf(std::string_view owner, std::string_view table);
SqlStatement SqlDb2DropRtree(std::string_view owner, std::string_view index);
SqlStatement SqlCreateIndex(const SqlDialect& d, std::string_view q, std::string_view owner,
                            std::string_view table, std::string_view column,
                            std::string_view suffix, std::string_view nameEnd);
SqlStatement SqlCreateUniqueIndex(const SqlDialect& d, std::string_view q,
                                  std::string_view owner, std::string_view table,
                                  std::string_view column, std::string_view nameEnd);
// One of the coordinate indexes; `tag` is "_SIX" or "_SIY".
SqlStatement SqlCreateXYIndex(const SqlDialect& d, std::string_view q, std::string_view owner,
                              std::string_view table, std::string_view column,
                              std::string_view tag);
// Empty text (and no fault) when the family has no spatial index.
SqlStatement SqlCreateSpatialIndex(const SqlDialect& d, std::string_view owner,
                                   std::string_view table, std::string_view column);
SqlStatement SqlUpdateStatistics(const SqlDialect& d, std::string_view owner,
                                 std::string_view table);
SqlStatement SqlLockTable(std::string_view q, std::string_view owner, std::string_view table);
SqlStatement SqlMaxKey(const SqlDialect& d, std::string_view q, std::string_view owner,
                       std::string_view table, int storageKind);

// Catalogue statements.
std::string SqlCatalogRef(const SqlDialect& d, std::string_view q);
std::string SqlCatalogProbe(const SqlDialect& d);
std::string SqlRenditionProbe(const SqlDialect& d, std::string_view q);
std::string SqlCatalogExists(const SqlDialect& d, std::string_view q);
std::string SqlCountCatalogRows(const SqlDialect& d, std::string_view q);
std::string SqlReadCatalogEntry(const SqlDialect& d, std::string_view q, std::string_view table,
                                std::string_view owner, bool noRenditionColumns);
std::string SqlDeleteCatalogEntry(const SqlDialect& d, std::string_view q,
                                  std::string_view owner, std::string_view table);
std::string SqlListCatalogOwners(const SqlDialect& d, std::string_view q);
std::string SqlListCatalogTables(const SqlDialect& d, std::string_view q, std::string_view owner);
std::string SqlCreateCatalogTable(const SqlDialect& d);
std::string SqlCreateCatalogIndex(const SqlDialect& d);
std::string SqlGrantCatalog(const SqlDialect& d);

// Statements that make the catalogue owner. `newForms` selects the SQL Server
// forms of version 9.0 and later.
std::string SqlLoginExists(std::string_view login);
std::string SqlUserExists(std::string_view user);
std::string SqlSchemaExists(std::string_view schema, std::string_view database);
SqlStatement SqlCreateLogin(bool newForms, std::string_view login, std::string_view password,
                            std::string_view database);
std::string SqlCreateSqlServerUser(bool newForms, std::string_view user);
std::string SqlGrantCreate(std::string_view user);
// The four statements of a schema for a user, in the order they run.
void SqlCreateSchemaFor(std::string_view schema, std::string_view user, std::string out[4]);
std::string SqlCreateUser(std::string_view user, std::string_view password);
std::string SqlGrantUser(std::string_view user);
