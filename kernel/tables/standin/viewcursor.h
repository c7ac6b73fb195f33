// Stand-in of the view cursor until the index search lands: it reads no
// row, so every row of a view answers as unreadable.
#pragma once
#include <cstdint>

struct OpenTable;

// Moves an open table's cursor (mode 1 next, 2 previous, 3 before the
// first row, 4 after the last, 5 absolute row) and reads the row.
int16_t cursor_move(OpenTable* table, int16_t mode, int32_t row, int32_t* base_row, int16_t* flag,
                    void** end_record);
