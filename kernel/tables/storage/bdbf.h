// The native table type: rows in a ".DAT" file of the dBASE layout whose
// fields hold numbers, dates and times in binary (little-endian) and texts
// NUL-filled in the table's charset. Also the driver of the scratch type,
// whose entries forward here unchanged.
#pragma once
#include <cstdint>

#include "kernel/tables/tabdef.h"

constexpr int16_t kErrTooManyFields = 877;
constexpr int32_t kStorageMaxFields = 250;

int16_t bdbf_create(StorageDesc* storage, FieldDef* fields);
int16_t bdbf_open(StorageDesc* storage, FieldDef* fields);
int16_t bdbf_begin_access(StorageDesc* storage, int16_t mode, int16_t* flag);
int16_t bdbf_end_access(StorageDesc* storage);
int16_t bdbf_close(StorageDesc* storage);
int16_t bdbf_read_row(StorageDesc* storage, int32_t n, FieldDef* fields);
int16_t bdbf_insert_row(StorageDesc* storage, int32_t* n, FieldDef* fields);
int16_t bdbf_update_row(StorageDesc* storage, int32_t n, FieldDef* fields);
int16_t bdbf_delete_row(StorageDesc* storage, int32_t n);

// A field of value type 7 becomes a Char field of width 25 before a create
// (shared with the dBASE type); false when its buffer cannot be had.
bool field_type7_to_char(FieldDef* field);
// Converts text in place between charsets, within its buffer.
void storage_text_convert(char* text, int32_t from, int32_t to);
