// Stand-in of the view cursor: no row is read.
#include "kernel/tables/standin/viewcursor.h"

int16_t cursor_move(OpenTable*, int16_t, int32_t, int32_t* base_row, int16_t* flag, void** end_record) {
  if (base_row != nullptr) *base_row = 0;
  if (flag != nullptr) *flag = 0;
  if (end_record != nullptr) *end_record = nullptr;
  return 0;
}
