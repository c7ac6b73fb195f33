// The table-type dispatch: the operations every data storage offers, by
// table type, the data file extension of each type, and the registration of
// a foreign data file under a new definition.
#pragma once
#include <cstdint>

#include "kernel/tables/tabdef.h"

constexpr int16_t kErrStorageOpen = 386;
constexpr int16_t kErrRegisterWrite = 754;
constexpr int16_t kErrRegisterDescribe = 755;

// Extension id of a type's data file (0 for none) and the type of an
// extension id (0 for none).
int32_t tabtype_extension(int32_t type);
int32_t tabtype_from_extension(int32_t ext_id);

int16_t tabtype_open(const char* data_path, int32_t ext_id, StorageDesc* storage, int32_t type, int32_t* field_count,
                     FieldDef** fields);
int16_t tabtype_read_fields(const char* data_path, TableDef* table);
// mode 1 read, 2 read and write, 3 create; the optional out flag is
// cleared and handed to the drivers of types 1, 5, 8 and 13.
int16_t tabtype_begin_access(TableDef* owner, StorageDesc* storage, int16_t mode, int16_t* flag = nullptr);
int16_t tabtype_end_access(StorageDesc* storage);
int16_t tabtype_close(StorageDesc* storage, FieldDef* fields);
int16_t tabdef_has_indexed_field(const TableDef* table);
int32_t tabtype_max_fields();

// Writes a definition for an existing data file (the "Register Table"
// statement): the definition path, the data path, a storage template and
// the optional object-system, WFS and FME records of the writer.
int16_t tabdef_register_file(const char* def_path, const char* data_path, const StorageDesc* storage,
                             const void* object_record, const void* wfs_record, const void* fme_record);
