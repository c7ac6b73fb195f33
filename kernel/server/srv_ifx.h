// Informix Universal Server with the Helvoristan spatial extension:
// detection, the extended spatial types of a table's columns, window
// predicates and the extension's R-tree index.
#pragma once

#include <cstdint>

#include "kernel/server/srv_query.h"

constexpr int16_t kErrIfxOldServer = 1581;

// 1 when an Informix server answers sysinherits and kt_spatial_id() and its
// version (read as one number) is 2.8 or later; the server type becomes
// "IUS" and an extension of 4.5.1 or later sets the version number to 451.
// An older server pushes 1581 (severity 1) and answers 0.
int16_t ifx_detect(SrvConnection* conn);
int16_t ifx_is_ius_server(const SrvConnection* conn);
int16_t ifx_is_informix(const SrvConnection* conn);
// 10, 9 or 11 by the type names of kernel strings 3958, 3956, 3959 (the
// first 15, 13, 10 characters, case counts); 0 for any other name.
int16_t ifx_type_kind(const char* type_name);
// The kinds of the table's extended-type columns (at most capacity stored,
// the rest cleared); answers how many there are.
int32_t ifx_column_kinds(const char* table, SrvConnection* conn, int32_t capacity, int16_t* kinds);
int16_t ifx_has_kind11(SrvConnection* conn, const char* table);
int16_t ifx_has_kind9(SrvConnection* conn, const char* table);
int16_t ifx_has_kind10(SrvConnection* conn, const char* table);
// Appends the window predicate to text: 0 when appended, else the room it
// needs (nothing appended).
int32_t ifx_window_clause(const SpatialColumnDesc* desc, const char* alias, int16_t bind_flag, const char* x_min,
                          const char* y_min, const char* x_max, const char* y_max, char* text, int32_t room,
                          int16_t param_flag, int16_t relation);
int16_t ifx_create_spatial_index(const char* owner, const char* table, const char* column, SrvConnection* conn);
