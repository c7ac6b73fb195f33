// Geometry utilities: adding primitives, deep copies, area-test
// preparation, state records; point queries, dynamic points, Z merging.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "geo_test_util.h"
#include "geometry/ktgeo_check.h"
#include "geometry/ktgeo_get.h"
#include "geometry/ktgeo_path.h"
#include "geometry/ktgeo_point.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_cogo.h"

using geotest::C;
using geotest::Coords;
using geotest::Curve;
using geotest::FailRecorder;
using geotest::List;
using geotest::Object;
using geotest::Path;
using geotest::Points;
using geotest::Polygon;
using geotest::Square;
using geotest::StdoutCapture;

namespace {

// Every list pointer of a path, to compare copies with their sources.
void CollectLists(const GeoPath& path, std::vector<const nlst*>* out) {
    out->push_back(path.curves);
    out->push_back(path.expanded);
    if (!path.curves) return;
    for (uint32_t i = 0; i < path.curves->tally; ++i) {
        const GeoCurve& c = static_cast<const GeoCurve*>(path.curves->data)[i];
        out->push_back(c.coords);
        out->push_back(c.stroked);
    }
}

std::vector<const nlst*> PolygonLists(const GeoPolygon& p) {
    std::vector<const nlst*> lists{p.interiors};
    CollectLists(p.exterior, &lists);
    if (p.interiors)
        for (uint32_t i = 0; i < p.interiors->tally; ++i)
            CollectLists(static_cast<const GeoPath*>(p.interiors->data)[i], &lists);
    return lists;
}

}  // namespace

TEST(ktgeo_util, AddingPrimitives) {
    Object o;
    const GeoCoord pts[] = {C(1, 2), C(3, 4), C(5, 2)};
    ASSERT_EQ(ktgeo_util_add_new_curve(&o.so, KTGEO_KT_CURVE, pts, 3, 3, 0.0f,
                                       static_cast<float>(M_PI / 2)),
              1);
    const GeoCurve& c = o.Primitive(0)->geom.curve;
    EXPECT_EQ(c.tangent_mode, 3);
    EXPECT_NEAR(c.start_tangent.x, 2, 1e-12);
    EXPECT_NEAR(c.start_tangent.y, 2, 1e-12);
    EXPECT_NEAR(c.end_tangent.x, 5, 1e-7);
    EXPECT_NEAR(c.end_tangent.y, 3, 1e-7);
    EXPECT_NE(c.coords->data, static_cast<const void*>(pts));
    EXPECT_EQ(Points(c.coords)[2].x, 5);

    GeoPointDirection* dir = static_cast<GeoPointDirection*>(qd_alloc(sizeof(GeoPointDirection)));
    *dir = {1, 2, C(1, 1)};
    const GeoCoord at = C(0, 0);
    ASSERT_EQ(ktgeo_util_add_new_point(&o.so, &at, dir), 1);  // the record is taken over
    EXPECT_EQ(o.Primitive(1)->geom.point.direction, dir);

    GeoPolygon poly = Polygon(Path({Square(0, 0, 1)}));
    ASSERT_EQ(ktgeo_util_add_new_polygon(&o.so, &poly), 1);
    EXPECT_EQ(o.Primitive(2)->type, KTGEO_POLYGON);
    EXPECT_EQ(o.so.primitives->tally, 3u);

    struct Refusal {
        const char* name;
        int (*call)(SpatialObject*);
        const char* param;
    } refusals[] = {
        {"one coordinate",
         [](SpatialObject* so) {
             const GeoCoord p = C(0, 0);
             return ktgeo_util_add_new_curve(so, 1, &p, 1, 0, 0, 0);
         },
         "ncrd"},
        {"no coordinates",
         [](SpatialObject* so) { return ktgeo_util_add_new_curve(so, 1, nullptr, 2, 0, 0, 0); },
         "crd"},
        {"no object",
         [](SpatialObject*) {
             const GeoCoord p = C(0, 0);
             return ktgeo_util_add_new_point(nullptr, &p, nullptr);
         },
         "over_geom"},
        {"no polygon", [](SpatialObject* so) { return ktgeo_util_add_new_polygon(so, nullptr); },
         "poly"},
        {"no primitive",
         [](SpatialObject* so) { return ktgeo_util_add_new_primitive(nullptr, so); }, "item"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        FailRecorder rec;
        StdoutCapture out;
        EXPECT_EQ(r.call(&o.so), 0);
        ASSERT_EQ(rec.reports().size(), 1u);
        EXPECT_EQ(rec.Last().code, "UKT_1");
        EXPECT_EQ(rec.Last().Get("param"), r.param);
        EXPECT_EQ(o.so.primitives->tally, 3u);
    }

    // A primitive list that cannot be made: "UKT_0" naming the function.
    Object fresh;
    FailRecorder rec;
    StdoutCapture out;
    qd_alloc_fail_nth(1);
    EXPECT_EQ(ktgeo_util_add_new_point(&fresh.so, &at, nullptr), 0);
    qd_alloc_fail_nth(0);
    ASSERT_EQ(rec.Codes(), std::vector<std::string>({"UKT_0", "UKT_0"}));
    EXPECT_EQ(rec.Last().Get("function"), "ktgeo_util_add_new_point");
}

TEST(ktgeo_util, DeepCopies) {
    GeoPolygon source = Polygon(Path({Square(0, 0, 10)}), {Path({Square(1, 1, 2)}),
                                                            Path({Square(5, 5, 2)})});
    ASSERT_EQ(ktgeo_path_expand(&source.exterior), 1);
    GeometricPrimitive prim;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &prim);
    prim.geom.polygon = source;
    prim.env_min = C(0, 0);
    prim.env_max = C(10, 10);
    GeometricPrimitive copy;
    ASSERT_EQ(ktgeo_util_copy_object(&prim, &copy), 1);
    EXPECT_EQ(copy.type, KTGEO_POLYGON);
    EXPECT_EQ(copy.env_min.x, KTGEO_UNSET);
    EXPECT_EQ(copy.env_max.x, KTGEO_UNSET);
    const std::vector<const nlst*> from = PolygonLists(prim.geom.polygon);
    const std::vector<const nlst*> to = PolygonLists(copy.geom.polygon);
    ASSERT_EQ(from.size(), to.size());
    for (size_t i = 0; i < from.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(from[i] == nullptr, to[i] == nullptr);
        if (!from[i]) continue;
        EXPECT_NE(from[i], to[i]);
        ASSERT_EQ(from[i]->tally, to[i]->tally);
        if (from[i]->size == sizeof(GeoCoord)) {  // coordinates: the same values
            EXPECT_EQ(std::memcmp(from[i]->data, to[i]->data,
                                  size_t{from[i]->tally} * sizeof(GeoCoord)),
                      0);
        }
    }
    ktgeo_primitive_release(&prim, nullptr);
    ktgeo_primitive_release(&copy, nullptr);

    List empty(ktgeo_coord_list_alloc(0));
    FailRecorder rec;
    StdoutCapture out;
    List copied(ktgeo_util_copy_object_coord_list(empty.get()));
    ASSERT_TRUE(copied);
    EXPECT_NE(copied.get(), empty.get());
    EXPECT_EQ(copied->tally, 0u);
    EXPECT_EQ(ktgeo_util_copy_object_coord_list(nullptr), nullptr);
    EXPECT_TRUE(rec.reports().empty());

    // A deep copy appended to an object owns its own lists.
    Object o;
    GeometricPrimitive line;
    ktgeo_util_primitive_init(KTGEO_CURVE, &line);
    line.geom.curve = Curve({C(0, 0), C(1, 1)});
    ASSERT_EQ(ktgeo_util_append_primitive_to_list(&line, &o.so), 1);
    EXPECT_NE(o.Primitive(0)->geom.curve.coords, line.geom.curve.coords);
    ktgeo_primitive_release(&line, nullptr);
    EXPECT_EQ(Points(o.Primitive(0)->geom.curve.coords)[1].y, 1);
}

TEST(ktgeo_util, AreaTestPreparationOrientsRingsClockwise) {
    GeoPolygon poly = Polygon(Path({Square(0, 0, 4)}));  // counterclockwise
    ASSERT_EQ(ktgeo_util_check_expanded_polygon(&poly), 1);
    EXPECT_EQ(poly.valid, 1);
    ASSERT_NE(poly.exterior.expanded, nullptr);
    EXPECT_EQ(qd_cogo_is_clockwise(poly.exterior.expanded), 1);
    ktgeo_polygon_release(&poly);

    GeoPolygon open = Polygon(Path({Curve({C(0, 0), C(4, 0), C(4, 4)})}));
    FailRecorder rec;
    StdoutCapture out;
    EXPECT_EQ(ktgeo_util_check_expanded_polygon(&open), 0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>({"UKT_6"}));
    ktgeo_polygon_release(&open);
}

TEST(ktgeo_util, StateRecords) {
    Object none;
    EXPECT_EQ(ktgeo_so_state_new(&none.so.primitives), nullptr);
    Object o;
    o.AddPoint(C(0, 0));
    o.AddPoint(C(1, 1));
    SpatialObjectState* state = ktgeo_so_state_new(&o.so.primitives);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->magic, KTGEO_SO_STATE_MAGIC);
    EXPECT_EQ(state->count, 2);
    EXPECT_EQ(ktgeo_so_state_check(state, &o.so.primitives), 1);
    EXPECT_EQ(ktgeo_so_state_check(state, nullptr), 0);
    EXPECT_EQ(ktgeo_so_state_check(nullptr, nullptr), 1);
    o.AddPoint(C(2, 2));
    EXPECT_EQ(ktgeo_so_state_check(state, &o.so.primitives), 0);
    // A kind-4 entry owns a block with a coordinate list.
    auto* block = static_cast<SpatialObjectStateBlock*>(qd_alloc(sizeof(SpatialObjectStateBlock)));
    block->coords = Coords({C(1, 1)});
    state->entries[1] = {4, block};
    ktgeo_so_state_release(state);

    SpatialObjectState fake = {1, 0, nullptr};
    EXPECT_EQ(ktgeo_so_state_check(&fake, nullptr), 0);
    FailRecorder rec;
    StdoutCapture out;
    ktgeo_so_state_release(&fake);
    EXPECT_EQ(rec.Last().Get("param"), "state");
}

TEST(ktgeo_get, PointOnSegment) {
    struct Case {
        GeoCoord p, a, b;
        int want;
    } cases[] = {
        {C(1, 1e-11), C(0, 0), C(2, 0), 1}, {C(3, 0), C(0, 0), C(2, 0), 0},
        {C(0, 0.5), C(0, 0), C(0, 1), 1},   {C(0, 1.5), C(0, 0), C(0, 1), 0},
        {C(1, 1), C(2, 2), C(0, 0), 1},     {C(1, 1.001), C(0, 0), C(2, 2), 0},
        {C(-1e-11, 0), C(0, 0), C(2, 0), 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ktgeo_point_on_segment(&c.p, &c.a, &c.b), c.want) << c.p.x << "," << c.p.y;

    GeoPolygon poly = Polygon(Path({Square(0, 0, 4)}), {Path({Square(1, 1, 1)})});
    int on = -1;
    const GeoCoord on_hole = C(1.5, 1), inside = C(3, 3);
    EXPECT_EQ(ktgeo_point_on_polygon(&on_hole, &poly, &on), 1);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(ktgeo_point_on_polygon(&inside, &poly, &on), 1);
    EXPECT_EQ(on, 0);
    ktgeo_polygon_release(&poly);
}

TEST(ktgeo_get, PointInsidePolygon) {
    GeoPolygon poly = Polygon(Path({Square(0, 0, 4)}), {Path({Square(1, 1, 1)})});
    int valid = 0;
    ktgeo_check_polygon(&poly, &valid);
    ASSERT_EQ(valid, 1);
    struct Case {
        GeoCoord p;
        int want;
    } cases[] = {
        {C(3, 3), 4}, {C(1.5, 1.5), 0}, {C(4, 2), 4}, {C(1, 1.5), 0}, {C(5, 5), 0},
    };
    for (const Case& c : cases) {
        int out = -1;
        EXPECT_EQ(ktgeo_point_inside_polygon(&c.p, &poly, &out), 1);
        EXPECT_EQ(out, c.want) << c.p.x << "," << c.p.y;
    }
    ktgeo_polygon_release(&poly);

    GeoPath open = Path({Curve({C(0, 0), C(4, 0), C(4, 4)})});
    FailRecorder rec;
    StdoutCapture out;
    int where = -1;
    const GeoCoord p = C(3, 1);
    EXPECT_EQ(ktgeo_point_inside_path(&p, &open, &where), 0);
    EXPECT_EQ(where, 0);
    ASSERT_EQ(rec.Codes(), std::vector<std::string>({"UKT_6"}));
    EXPECT_EQ(rec.Last().Get("what"), "ST_Path");
    ktgeo_path_release(&open, nullptr);
}

TEST(ktgeo_get, CoordListsOfCurves) {
    GeoCurve arc = Curve({C(1, 0), C(0, 1), C(-1, 0)}, KTGEO_CIRCULAR_ARC);
    const nlst* line = ktgeo_get_coord_list(&arc);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line, arc.stroked);
    EXPECT_EQ(ktgeo_get_coord_list(&arc), line);  // stroked once
    int on = 0;
    const GeoCoord top = C(0, 1);
    EXPECT_EQ(ktgeo_point_on_curve(&top, &arc, &on), 1);
    EXPECT_EQ(on, 1);
    ktgeo_curve_release(&arc, nullptr);

    GeoCurve bezier = Curve({C(0, 0), C(1, 1), C(2, 1), C(3, 0)}, KTGEO_BEZIER);
    EXPECT_EQ(ktgeo_get_coord_list(&bezier), bezier.coords);
    bezier.curve_type = 9;
    FailRecorder rec;
    StdoutCapture out;
    EXPECT_EQ(ktgeo_get_coord_list(&bezier), nullptr);
    EXPECT_EQ(rec.Last().Get("param"), "result");
    ktgeo_curve_release(&bezier, nullptr);
}

TEST(ktgeo_get, MergeZ) {
    struct Case {
        double za, zb, want_a, want_b;
    } cases[] = {
        {1, KTGEO_NO_Z, 1, 1},
        {KTGEO_NO_Z, 5, 5, 5},
        {1, 3, 2, 2},
        {-2e6, KTGEO_NO_Z, KTGEO_NO_Z, KTGEO_NO_Z},
    };
    for (const Case& c : cases) {
        GeoCoord a = C(0, 0, c.za), b = C(1, 1, c.zb);
        ktgeo_merge_z(&a, &b);
        EXPECT_EQ(a.z, c.want_a);
        EXPECT_EQ(b.z, c.want_b);
    }
    ktgeo_merge_z(nullptr, nullptr);
    int same = -1;
    const GeoCoord p = C(1, 1, 0), q = C(1, 1, 5);
    EXPECT_EQ(ktgeo_get_same_point(&p, &q, &same), 1);
    EXPECT_EQ(same, 0);
}

TEST(ktgeo_point, DynamicPoints) {
    GeoPointDirection dir = {0, 0, C(2, 3)};
    GeoPoint point = {C(2, 3), &dir};
    float angle = -1;
    ASSERT_EQ(ktgeo_dynamic_rotation(&point, &angle), 1);
    EXPECT_EQ(angle, 0.0f);
    ASSERT_EQ(ktgeo_dynamic_orientation(&point, static_cast<float>(M_PI / 2)), 1);
    EXPECT_NEAR(dir.toward.x, 2, 1e-7);
    EXPECT_NEAR(dir.toward.y, 4, 1e-7);
    EXPECT_EQ(dir.toward.z, KTGEO_NO_Z);
    ASSERT_EQ(ktgeo_dynamic_rotation(&point, &angle), 1);
    EXPECT_NEAR(angle, M_PI / 2, 1e-6);
    int valid = 0;
    EXPECT_EQ(ktgeo_point_valid(&point, &valid), 1);
    EXPECT_EQ(valid, 1);

    GeoPoint plain = {C(0, 0), nullptr};
    FailRecorder rec;
    StdoutCapture out;
    EXPECT_EQ(ktgeo_dynamic_rotation(&plain, &angle), 0);
    EXPECT_EQ(rec.Last().Get("param"), "point");
    EXPECT_EQ(ktgeo_dynamic_rotation(&point, nullptr), 0);
    EXPECT_EQ(rec.Last().Get("param"), "angle");
    EXPECT_EQ(ktgeo_dynamic_orientation(&plain, 0), 0);
    EXPECT_EQ(rec.Last().Get("function"), "ktgeo_dynamic_orientation");
}
