// The table API's header and every map-object header compile together with
// the table API's header first.
#include "kernel/tables/api/tabapi.h"
// clang-format off
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/mapstyle.h"
#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objgeom_test.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/mapobjects/objrec.h"
#include "kernel/mapobjects/objtrace.h"
#include "kernel/mapobjects/quadkey.h"
// clang-format on
#include <gtest/gtest.h>

TEST(mapobj_headers, ApiFirst) {
  ObjRecord record;
  record.code = OBJREC_NONE;
  DPoint p = {1, 2};
  EXPECT_EQ(record.code, 200);
  EXPECT_EQ(p.y, 2);
  EXPECT_EQ(sizeof(DRect), 32u);
}
