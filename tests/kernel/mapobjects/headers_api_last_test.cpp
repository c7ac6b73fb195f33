// The table API's header and every map-object header compile together with
// the table API's header last.
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
#include "kernel/tables/api/tabapi.h"
// clang-format on
#include <gtest/gtest.h>

TEST(mapobj_headers, ApiLast) {
  ObjStyles styles;
  styles.flags = 0;
  DRect r = {0, 0, 1, 1};
  EXPECT_EQ(styles.flags, 0);
  EXPECT_EQ(r.x2, 1);
}
