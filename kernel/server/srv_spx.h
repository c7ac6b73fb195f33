// The Helvoristan spatial extension on Oracle (spatial kind 5): detection
// and version, extension tables, window predicates and the extension's
// geometry-valued functions in a select list.
#pragma once

#include <cstdint>

#include "kernel/server/srv_query.h"

// 1 when the server type is "HELVORISTAN/ORACLE" (case ignored); a server
// version of 4.5.1 or later (compared as numbers) sets the version number
// to 451, an earlier one leaves it as it was.
int16_t spx_is_oracle_extension(SrvConnection* conn);
// 1 when the statement of kernel string 6099 (owner and table as quoted
// literals for ^0 and ^1) yields a row. The error stack is cleared.
int16_t spx_is_spatial_table(SrvConnection* conn, const char* name);
// Appends the window predicate (relation 1 any interaction, 2 inside, 3
// outside) to text. 0 when appended, else the room it needs (nothing
// appended). With bind_flag and param_flag the window is the bound "?".
int32_t spx_window_clause(const SpatialColumnDesc* desc, const char* alias, int16_t bind_flag, const char* x_min,
                          const char* y_min, const char* x_max, const char* y_max, char* text, int32_t room,
                          int16_t param_flag, int16_t relation);
// The extension takes its window as written in the statement: nothing to
// bind, answers 1.
int16_t spx_bind_search_values(SrvQuery* query, SrvStatement* stmt, MapObject* search_object);
// 1 when the item names a geometry-valued function of the extension; the
// query's descriptor is marked by spx_function_class_effect first.
int16_t spx_name_is_spatial(const SrvConnection* conn, SrvQuery* query, const char* name);
void spx_function_class_effect(SpatialColumnDesc* desc, const char* name);
