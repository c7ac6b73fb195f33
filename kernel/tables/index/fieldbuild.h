// The index of a field, built on demand over its table's rows.
#pragma once
#include <cstdint>

#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/tabdef.h"

constexpr int16_t kErrIndexMemory = 304;
constexpr int16_t kErrIndexTableAccess = 386;
constexpr int16_t kErrIndexAdd = 387;
constexpr int16_t kErrIndexFileOpen = 388;
constexpr int16_t kErrIndexGet = 389;
constexpr int16_t kErrIndexUniqueFlag = 390;
constexpr int16_t kErrIndexLinked = 718;

// The index of a field (0-based), built when the field has none; every
// failure ends with 389 on the error stack.
int16_t index_get_for_field(TableDef* table, int32_t field, int16_t unique, IndexFile** out_file,
                            FieldIndex** out_index);
int16_t field_index_make(TableDef* table, int32_t field, int16_t unique);
int16_t field_index_build(TableDef* table, int32_t field, int16_t unique, IndexFile* index, FieldIndex* desc);
// The time slices the last build ran in (a test figure).
int32_t field_index_last_build_slices();
