// Geometry input: LOADER counts and dimensions, inputs left as they were,
// ADJUST moves against brute force, geometry and primitive statuses, the
// work extent's edge, and the envelope prune of the cutting operations.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_geo_chain.h"

using geotest::C;

namespace {

nlst* Packs(std::vector<geotest::Object*> objects, std::vector<int32_t> keys = {}) {
    nlst* packs = nlst_alloc(sizeof(TePack), 4, 4, nullptr);
    int32_t i = 0;
    for (geotest::Object* o : objects) {
        TePack p;
        qd_te_pack_init(&p);
        p.keys.parent = {1, i + 1, 0};
        if (size_t(i) < keys.size()) p.keys.key = keys[size_t(i)];
        ++i;
        p.use_input = 1;
        p.input = &o->so;
        nlst_add(packs, &p);
    }
    return packs;
}

std::vector<uint8_t> Bytes(SpatialObject* so) {
    uint8_t* blob = ktgeo_pack_geometry(so);
    if (!blob) return {};
    uint32_t len;
    std::memcpy(&len, blob, 4);
    std::vector<uint8_t> v(blob, blob + len);
    qd_free(blob);
    return v;
}

struct Collect {
    nlst* holder = nullptr;
    TeOutputList out;
    Collect() { qd_te_func_abstract_set_output_list(&out, &holder, nullptr); }
    ~Collect() { qd_te_pack_list_free(&holder); }
    const TePack* At(uint32_t i) const { return static_cast<const TePack*>(nlst_index(holder, i)); }
};

void MakeMixed(geotest::Object& poly, geotest::Object& line, geotest::Object& multi) {
    poly.AddPolygon(geotest::Polygon(geotest::Path({geotest::Square(0, 0, 10)}, 1, 1),
                                     {geotest::Path({geotest::Square(2, 2, 2)}, 1, 1)}));
    line.AddCurve(geotest::Curve({C(0, 0), C(5, 5), C(7, 1)}));
    multi.AddPoint(C(1, 1));
    multi.AddPoint(C(2, 3));
    for (geotest::Object* o : {&poly, &line, &multi}) ktgeo_so_complete(&o->so);
}

}  // namespace

TEST(qd_te_input, LoaderCountsAndLeavesInputsAlone) {
    geotest::Object poly, line, multi;
    MakeMixed(poly, line, multi);
    const auto before = std::vector<std::vector<uint8_t>>{Bytes(&poly.so), Bytes(&line.so), Bytes(&multi.so)};
    nlst* packs = Packs({&poly, &line, &multi});
    Collect c;
    TeRules r;
    qd_te_rules_init(&r);
    qd_te_func_abstract_set_rules(&r, TE_LOADER, &c.out, 1, 0);
    ASSERT_EQ(qd_te_func_abstract(packs, &r), 1);
    ASSERT_EQ(c.holder->tally, 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(c.At(i)->keys.parent.id_a, 1);
        EXPECT_EQ(c.At(i)->keys.parent.id_b, int32_t(i) + 1);
    }
    EXPECT_EQ(c.At(0)->keys.parent.packed & 7, TE_PARENT_P);
    EXPECT_EQ(c.At(1)->keys.parent.packed & 7, TE_PARENT_L);
    EXPECT_EQ(c.At(2)->work.primitives->tally, 2u);
    const TeCounters& in = r.statistics.input_counters;
    EXPECT_EQ(in.count[0], 4);  // primitives
    EXPECT_EQ(in.count[1], 3);  // geometries with a negative key
    EXPECT_EQ(in.count[3], 2);  // points
    EXPECT_EQ(in.count[4], 1);  // polylines
    EXPECT_EQ(in.count[9], 1);  // polygons
    EXPECT_EQ(r.statistics.data_dim, 3);
    EXPECT_EQ(r.statistics.tallies[3], 3);
    EXPECT_EQ(r.statistics.output_counters.count[0], 3);
    // The inputs pack to the same bytes after the run.
    EXPECT_EQ(Bytes(&poly.so), before[0]);
    EXPECT_EQ(Bytes(&line.so), before[1]);
    EXPECT_EQ(Bytes(&multi.so), before[2]);
    // Merged into one geometry.
    nlst* list = nlst_alloc(sizeof(SpatialObject), 3, 1, nullptr);
    for (geotest::Object* o : {&poly, &line, &multi}) nlst_add(list, &o->so);
    geotest::Object merged;
    int32_t status = 0;
    TeRules m;
    qd_te_rules_init(&m);
    qd_te_func_abstract_set_rules(&m, TE_LOADER, nullptr, 0, 0);
    ASSERT_EQ(qd_te_func_abstract_bygeomlist(list, &merged.so, &m, &status), 1);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(merged.so.primitives->tally, 4u);
    list->tally = 0;
    nlst_free(list);
    nlst_free(packs);
}

TEST(qd_te_input, AdjustMovesVertices) {
    // A vertex within 1e-10 of a source moves with snap_outer 0.
    geotest::Object o;
    o.AddCurve(geotest::Curve({C(0, 0), C(5 + 4e-11, 5), C(9, 9)}));
    o.AddPoint(C(100, 100));
    ktgeo_so_complete(&o.so);
    nlst* packs = Packs({&o});
    auto* pack = static_cast<TePack*>(nlst_index(packs, 0));
    const GeoCoord s1 = C(5, 5), t1 = C(6, 6), s2 = C(100, 100 + 3e-10), t2 = C(0, 0);
    qd_te_add_adjust_pair(&s1, &t1, 0, &pack->adjust_list);
    qd_te_add_adjust_pair(&s2, &t2, 0, &pack->adjust_list);
    Collect c;
    TeRules r;
    qd_te_rules_init(&r);
    qd_te_func_abstract_set_rules(&r, TE_ADJUST, &c.out, 1, 0);
    ASSERT_EQ(qd_te_func_abstract(packs, &r), 1);
    ASSERT_EQ(c.holder->tally, 1u);
    const auto* prims = static_cast<const GeometricPrimitive*>(c.At(0)->work.primitives->data);
    const auto* pts = static_cast<const GeoCoord*>(prims[0].geom.curve.coords->data);
    EXPECT_EQ(pts[1].x, 6);
    EXPECT_EQ(pts[0].x, 0);
    EXPECT_EQ(prims[1].geom.point.coord.x, 100);  // 3e-10 away: stays
    // The caller's geometry is not changed.
    const auto* own = static_cast<const GeometricPrimitive*>(o.so.primitives->data);
    EXPECT_EQ(static_cast<const GeoCoord*>(own[0].geom.curve.coords->data)[1].x, 5 + 4e-11);
    nlst_free(pack->adjust_list);
    nlst_free(packs);

    // 1,000 sources and points near them, against brute force.
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(0, 10), d(-2e-9, 2e-9);
    nlst* pairs = nullptr;
    std::vector<TeAdjustPair> all;
    for (int i = 0; i < 1000; ++i) {
        const GeoCoord s = C(std::round(u(gen) * 1e3) / 1e3, std::round(u(gen) * 1e3) / 1e3), t = C(-i, i);
        const double tol = i % 3 ? 1e-9 : 1e-10;
        qd_te_add_adjust_pair(&s, &t, tol, &pairs);
        all.push_back({s, t, tol});
    }
    nlst_sort(pairs, qd_te_adjust_pair_compare);
    int moved = 0;
    for (int i = 0; i < 1000; ++i) {
        const GeoCoord q = C(all[size_t(i)].source.x + d(gen), all[size_t(i)].source.y + d(gen));
        bool brute = false;
        for (const TeAdjustPair& p : all)
            brute = brute || qd_te_same_fuzzy_point(&q, &p.source, std::fmax(p.tolerance, 1e-10));
        GeoCoord v = q;
        ASSERT_EQ(qd_te_adjust_vertex(1e-10, &v, pairs), 1);
        const bool found = v.x != q.x || v.y != q.y;
        EXPECT_EQ(found, brute) << i;
        moved += found;
    }
    EXPECT_GT(moved, 100);
    nlst_free(pairs);
}

TEST(qd_te_input, GeometryStatuses) {
    TeRules r;
    qd_te_rules_init(&r);
    qd_te_func_abstract_set_rules(&r, TE_LOADER, nullptr, 0, 0);
    r.work_extent[0] = 0;
    r.work_extent[1] = 0;
    r.work_extent[3] = 10;
    r.work_extent[4] = 10;
    int has_polygons = 0, all_points = 0;
    int32_t status = 9;
    ASSERT_EQ(qd_te_encode_check_geom(&has_polygons, nullptr, &status, &r, &all_points), 1);
    EXPECT_EQ(status, -6);
    geotest::Object empty;
    ASSERT_EQ(qd_te_encode_check_geom(&has_polygons, &empty.so, &status, &r, &all_points), 1);
    EXPECT_EQ(status, -3);
    struct {
        double x, y;
        int32_t want;
    } edges[] = {{10, 5, 1}, {0, 0, 1}, {10 + 1e-9, 5, -4}, {5, -1e-9, -4}, {-1e-9, 5, -4}};
    for (const auto& k : edges) {
        geotest::Object o;
        o.AddPoint(C(k.x, k.y));
        ASSERT_EQ(qd_te_encode_check_geom(&has_polygons, &o.so, &status, &r, &all_points), 1);
        EXPECT_EQ(status, k.want) << k.x << " " << k.y;
        EXPECT_EQ(all_points, 1);
    }
    // Primitives that give no envelope, even computed: 0. A point at the
    // unset position; a curve without coordinates.
    {
        geotest::Object unset;
        unset.AddPoint(KTGEO_UNSET_COORD);
        status = 9;
        ASSERT_EQ(qd_te_encode_check_geom(&has_polygons, &unset.so, &status, &r, &all_points), 1);
        EXPECT_EQ(status, 0);
        geotest::Object bare;
        GeoCurve c;
        ktgeo_curve_init(&c);
        c.coords = ktgeo_coord_list_new(nullptr);
        bare.AddCurve(c);
        status = 9;
        ASSERT_EQ(qd_te_encode_check_geom(&has_polygons, &bare.so, &status, &r, &all_points), 1);
        EXPECT_EQ(status, 0);
    }
    // Primitive checks: type, dimension, cutter.
    GeometricPrimitive bad;
    ktgeo_util_primitive_init(KTGEO_POINT, &bad);
    bad.type = 9;
    ASSERT_EQ(qd_te_encode_check_topology(&r, &status, &bad, -1), 1);
    EXPECT_EQ(status, -5);
    ASSERT_EQ(qd_te_encode_check_topology(&r, &status, nullptr, -1), 1);
    EXPECT_EQ(status, -6);
    GeometricPrimitive point;
    ktgeo_util_primitive_init(KTGEO_POINT, &point);
    r.mode = TE_SINGLE;
    r.output_dim = 2;
    ASSERT_EQ(qd_te_encode_check_topology(&r, &status, &point, -1), 1);
    EXPECT_EQ(status, -7);
    r.mode = TE_SPLIT;  // splits take every dimension
    ASSERT_EQ(qd_te_encode_check_topology(&r, &status, &point, 2), 1);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(r.statistics.operand_dim, 1);
    TeKeys keys;
    qd_te_keys_init(&keys);
    keys.key = 0;
    ASSERT_EQ(qd_te_encode_check_cutter(&r, &point, &status, &keys), 1);
    EXPECT_EQ(status, -42);
    keys.key = -1;
    status = 1;
    ASSERT_EQ(qd_te_encode_check_cutter(&r, &point, &status, &keys), 1);
    EXPECT_EQ(status, 1);
}

// SPLIT keeps every target and the operands that meet one; ERASE_OUT keeps
// only what meets the other side. Counted: the target's chains.
TEST(qd_te_input, PruneByEnvelope) {
    struct {
        int32_t mode;
        int want;
    } cases[] = {{TE_SPLIT, 2}, {TE_ERASE_IN, 2}, {TE_ERASE_OUT, 0}};
    for (const auto& k : cases) {
        geotest::Object target, far_cutter;
        target.AddCurve(geotest::Curve({C(0, 0), C(1, 1)}));
        target.AddCurve(geotest::Curve({C(50, 50), C(51, 51)}));
        GeoPolygon* p = far_cutter.AddPolygon(geotest::Polygon(geotest::Path({geotest::Square(20, 20, 5)}, 1, 1)));
        p->valid = 1;
        ktgeo_so_complete(&target.so);
        ktgeo_so_complete(&far_cutter.so);
        nlst* packs = Packs({&target, &far_cutter}, {-1, 1});
        TeRules r;
        qd_te_rules_init(&r);
        qd_te_func_abstract_set_rules(&r, k.mode, nullptr, 0, 0);
        nlst* chains = nullptr;
        qd_te_geo_chain_list_create(&chains, 10);
        ASSERT_EQ(qd_te_chains_from_object_list_prune(packs, &r, chains), 1);
        int encoded = 0;
        for (uint32_t i = 1; i < chains->tally; ++i)
            if (qd_te_chain_at(chains, int32_t(i))->chain_lookup == -1) ++encoded;
        EXPECT_EQ(encoded, k.want) << k.mode;
        qd_te_geo_chain_list_free(&chains);
        nlst_free(packs);
    }
}

// Buffer widths below the tolerance: -43 to the error method, the call
// fails and the rules' widths are put back.
TEST(qd_te_input, BufferWidthRefused) {
    struct Codes {
        std::vector<int32_t> codes;
        static int32_t On(FailEvent* e, void* self) {
            static_cast<Codes*>(self)->codes.push_back(e->code);
            return 0;
        }
    } codes;
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = TE_BUFFER;
    r.error_method = {Codes::On, &codes};
    r.buffer.width.width = 5;
    TeKeys keys;
    qd_te_keys_init(&keys);
    keys.width.own_width = 1;  // the input asks for its own (zero) width
    geotest::Object o;
    o.AddPoint(C(1, 1));
    nlst* chains = nullptr;
    qd_te_geo_chain_list_create(&chains, 10);
    int32_t status = 1;
    EXPECT_EQ(qd_te_chains_from_geometry(&o.so, &r, &keys, chains, nullptr, nullptr, &status), 0);
    EXPECT_EQ(codes.codes, std::vector<int32_t>{-43});
    EXPECT_EQ(r.buffer.width.width, 5);
    EXPECT_EQ(chains->tally, 1u);
    qd_te_geo_chain_list_free(&chains);
}
