// The row map of an Access table: a side file (".aid") beside the table's
// definition holding, for row n, the key of its record as a 32-bit
// little-endian integer at offset (n - 1) x 4; 0 marks a deleted row. No
// header; the row count is the size / 4. The file only grows.
#pragma once
#include <cstdint>

struct DaoTable;
struct StorageDesc;

constexpr int32_t kRowMapExt = 62;

int16_t rowmap_create(DaoTable* state, int32_t base_file, const char* path, int32_t ext_id);
int16_t rowmap_open_existing(DaoTable* state, int32_t base_file);
int16_t rowmap_open(DaoTable* state, int16_t mode);
void rowmap_close(DaoTable* state);
int16_t rowmap_delete(DaoTable* state);
// old_path (kPathSize bytes) receives the former path when not null.
int16_t rowmap_rename(DaoTable* state, const char* new_path, int32_t ext_id, char* old_path);
int16_t rowmap_copy(DaoTable* state, const char* path, int32_t ext_id);
int16_t rowmap_read(int32_t n, int32_t* key, int32_t file);
int16_t rowmap_write(int32_t n, int32_t key, int32_t file);
int16_t rowmap_flush(DaoTable* state);

int16_t rowmap_build(DaoTable* state, int32_t* row_count);
int16_t rowmap_sync(StorageDesc* storage);
int16_t rowmap_append_new_rows(DaoTable* state, const char* table);
