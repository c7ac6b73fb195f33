// Writing a table definition file: the version rules that raise a table's
// version triple to what its contents need, the header lines, the
// "Definition Table" statement or the keyword-colon form below version 300,
// the field lines and the metadata block; and the Type clause writer of
// registration statements.
//
// The file is written to a reserved temporary beside the definition and
// moved over it only when every write succeeded, so a failed write leaves
// the old definition as it was.
#pragma once
#include <cstdint>
#include <string>

#include "kernel/mapobjects/mapobj.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"

struct VersionTriple {
  int32_t version;
  int32_t read_entire;
  int32_t edit;
};

// Raises each member to the new value when that is greater; answers
// whether anything changed.
bool version_raise(VersionTriple* t, int32_t v, int32_t r, int32_t e);
// The version a coordinate transform needs (0 for none), by projection type
// and, for other types, by the ellipsoid that heads the datum.
int32_t version_for_coordsys(int32_t projection_type, int32_t ellipsoid);
// The coordinate-system rule on a transform (0 for none or no rule).
int32_t version_for_xform(const CoordXform* xform);
// The triple a table needs to hold a map object (null: only the table's
// coordinate system counts), computed from the current triple into the
// output; answers whether anything was raised. A table that is already at
// version 452 and edit version 800 needs nothing.
bool tabfile_min_version(const VersionTriple* current, VersionTriple* out, const MapObject* object,
                         const TableDef* table);
// Makes the table able to hold the object. Mode 100 keeps the table's
// versions: it answers 1 only when nothing needs raising, or when the only
// need was a region's section order, which it then puts right in the
// object's node data. Any other mode raises the table's triple and answers 1.
int16_t tabfile_version_for_object(int32_t mode, MapObject* object, TableDef* table);
// The field-type rule: 900 (and the type found) for a Time, DateTime or
// LargeInt field, else 100.
int32_t version_for_field_types(const FieldDef* fields, int32_t count, int32_t* type_found);
// Triple operations: all three members set to one value; a triple copied
// into a table; the member-wise largest triple, and the largest edit
// version, over a set of tables; the field-type rule over an entry's columns.
void version_set_all(TableDef* table, int32_t v);
void version_copy_into(TableDef* table, const VersionTriple* t);
VersionTriple version_largest(TableDef* const* tables, int32_t count);
int32_t version_largest_edit(TableDef* const* tables, int32_t count);
int32_t version_for_column_types(const OpenTable* entry, int32_t* type_found);
// Applies the version rules of tabfile_write to the table's triple.
void tabfile_apply_version_rules(TableDef* table);

int16_t tabfile_write(TableDef* table, const ObjectSystemRecord* object, const WfsRecord* wfs, const FmeRecord* fme);
int16_t tabfile_write_plain(TableDef* table);
// The text in double quotes, inner double quotes doubled, never cut.
std::string tabfile_quoted(const std::string& text);
// The clauses of a shapefile's object-system record as written after its
// Type clause: CoordSys, then the linestyle, regionstyle and Symbol defaults.
std::string tabfile_object_clauses(const ObjectSystemRecord* object);
// Appends " TYPE ..." for a data file of the extension id to the text.
void tabfile_write_type_clause(std::string* text, int32_t ext_id, const TypeOptions* options);
// The type text of a field as the writer prints it; 0 for a type without.
int16_t field_type_text(int32_t type, int32_t width, int32_t decimals, char* out, int32_t size);
