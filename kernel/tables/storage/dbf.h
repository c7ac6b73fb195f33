// The dBASE table type: rows in a ".DBF" file whose fields are fixed-width
// texts (numbers right-aligned, dates yyyyMMdd, logicals T or F, times and
// dates-with-times as their plain numbers), with the name repair of dBASE
// field names and the shapefile mode of the attribute file of a shapefile.
#pragma once
#include <cstdint>

#include "kernel/tables/tabdef.h"

constexpr int16_t kErrNoMemory = 304;
constexpr int16_t kErrFieldLetter = 721;

int16_t dbf_create(StorageDesc* storage, FieldDef* fields);
int16_t dbf_open(StorageDesc* storage, FieldDef* fields);
// Describes the file: a new field array and its count.
int16_t dbf_describe(StorageDesc* storage, FieldDef** fields, int32_t* count);
int16_t dbf_begin_access(StorageDesc* storage, int16_t mode, int16_t* flag);
int16_t dbf_end_access(StorageDesc* storage);
int16_t dbf_close(StorageDesc* storage);
int16_t dbf_read_row(StorageDesc* storage, int32_t n, FieldDef* fields);
int16_t dbf_insert_row(StorageDesc* storage, int32_t* n, FieldDef* fields);
int16_t dbf_update_row(StorageDesc* storage, int32_t n, FieldDef* fields);
int16_t dbf_delete_row(StorageDesc* storage, int32_t n);
// Whether the file has a memo ('M') or picture ('P') field.
int16_t dbf_has_memo_fields(StorageDesc* storage);
// The dBASE name of a field (out: 11 bytes): the first 10 characters,
// repaired (upper case, letters and digits, a letter first) unless the
// repair is switched off, when it is only converted to the table charset.
void dbf_make_field_name(char* out, const char* name, int32_t table_charset);
// Process-wide switch, off by default: keep field names as they are.
void dbf_set_keep_field_names(int16_t on);
