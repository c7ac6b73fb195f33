// Shared set-up of the map-object tests: the map-object runtime started on a
// clean kernel state, heap objects that destroy themselves, and builders of
// regions, polylines and multipoints from plain rings.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/value.h"

struct ObjDeleter {
  void operator()(MapObject* obj) const { mapobj_destroy(&obj); }
};
using ObjPtr = std::unique_ptr<MapObject, ObjDeleter>;
using Ring = std::vector<IntPoint>;

class MapObjTest : public ::testing::Test {
 public:
  void SetUp() override {
    Reset();
    ASSERT_EQ(mapobj_runtime_start(), 1);
  }
  void TearDown() override {
    mapobj_runtime_end();
    value_set_object_ops(nullptr);
    Reset();
  }
  static void Reset() {
    mem_test_fail_nth(0);
    err_clear();
    mapobj_state_reset();
  }
  static ObjPtr New(int type) {
    MapObject* obj = nullptr;
    EXPECT_EQ(mapobj_new(nullptr, &obj, type, 0), 1);
    return ObjPtr(obj);
  }
  // A polyline or region with one section per ring; rings are given without
  // a closing node. holes[i] is the holes-following count of ring i.
  static ObjPtr Poly(int type, const std::vector<Ring>& rings, const std::vector<int>& holes = {}) {
    ObjPtr obj = New(type);
    for (size_t i = 0; i < rings.size(); ++i) {
      EXPECT_EQ(mapobjx_add_section(obj.get(), 0, nullptr), 1);
      EXPECT_EQ(mapobjx_insert_nodes(obj.get(), static_cast<int32_t>(i), 0, rings[i].data(),
                                     static_cast<int32_t>(rings[i].size()), nullptr, nullptr),
                1);
    }
    MapSection* h = mapobj_lock_sections(obj.get(), 0);
    for (size_t i = 0; i < holes.size(); ++i) h[i].holes = holes[i];
    return obj;
  }
  // The stored nodes of one section.
  static Ring Nodes(MapObject* obj, int s) {
    MapSection* h = mapobj_lock_sections(obj, 0);
    const IntPoint* p = mapobj_section_nodes(h, s);
    return Ring(p, p + h[s].node_count);
  }
  static std::string Arg(int entry, int which) {
    const ErrorEntry& e = g_err_stack->entries[entry];
    int16_t off = which == 1 ? e.arg1_offset : e.arg2_offset;
    int16_t len = which == 1 ? e.arg1_length : e.arg2_length;
    return len > 0 ? std::string(g_err_stack->pool + off) : std::string();
  }
};

inline bool operator==(const IntPoint& a, const IntPoint& b) { return a.x == b.x && a.y == b.y; }
inline std::ostream& operator<<(std::ostream& os, const IntPoint& p) { return os << "(" << p.x << "," << p.y << ")"; }
