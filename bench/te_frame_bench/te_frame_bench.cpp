// The engine's frame against baselines measured in the same run: sorting
// and linking 1,000,000 chains against std::sort of the same records by
// minimum x (target: at most 2 times), and a LOADER run over 100,000 mixed
// geometries against copying each geometry (target: at most 2 times).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "../runtime/te_bench_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_geo_chain.h"

namespace {

volatile double sink = 0;

int32_t count_output(SpatialObject* g, nlst*, void*) {
    sink = sink + g->env_min.x;
    return 1;
}

void add_curve(SpatialObject* o, const std::vector<GeoCoord>& pts) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_CURVE, &p);
    p.geom.curve.curve_type = KTGEO_POLYLINE;
    p.geom.curve.coords = ktgeo_coord_list_from_array(pts.data(), uint32_t(pts.size()));
    if (!o->primitives) o->primitives = ktgeo_primitive_list_new(nullptr);
    nlst_add(o->primitives, &p);
}


void bench_sort_link() {
    const int n = 1000000;
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(0, 1e6);
    std::vector<TeChain> master(size_t(n) + 1);
    qd_te_geo_chain_universal_init(&master[0]);
    for (int i = 1; i <= n; ++i) {
        TeChain& c = master[size_t(i)];
        qd_te_geo_chain_default(&c);
        c.chain_type = TE_LINE;
        const double x = u(gen), y = u(gen);
        c.chain_mer[0] = {x, y, 0};
        c.chain_mer[1] = {x + 10, y + 10, 0};
    }
    nlst* chains = nlst_alloc(sizeof(TeChain), uint32_t(n) + 1, 1, nullptr);
    chains->tally = uint32_t(n) + 1;
    const double ours = best_seconds([&] {
        std::memcpy(chains->data, master.data(), sizeof(TeChain) * master.size());
        qd_te_chain_list_sort(chains);
        qd_te_link_setup(chains);
        sink = sink + qd_te_chain_at(chains, 1)->chain_mer[0].x;
    }, 3);
    char why[160] = "";
    const int sound = qd_te_check_invariants(chains, TE_INV_IDS | TE_INV_SORTED, why);
    const double base = best_seconds([&] {
        std::memcpy(chains->data, master.data(), sizeof(TeChain) * master.size());
        auto* first = qd_te_chain_at(chains, 0);
        std::sort(first + 1, first + chains->tally, [](const TeChain& a, const TeChain& b) {
            return a.chain_mer[0].x < b.chain_mer[0].x;
        });
        sink = sink + first[1].chain_mer[0].x;
    }, 3);
    report("sort and link, 1M chains", ours / n * 1e9, base / n * 1e9, "std::sort by minimum x");
    std::printf("invariants %s %s\n", sound ? "hold" : "broken:", why);
    chains->tally = 0;
    nlst_free(chains);
}

void bench_loader() {
    const int n = 100000;
    std::vector<SpatialObject> objects(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        SpatialObject& o = objects[size_t(i)];
        ktgeo_so_init_empty(&o);
        const double x = i % 1000, y = i / 1000;
        if (i % 3 == 0) {
            GeometricPrimitive p;
            ktgeo_util_primitive_init(KTGEO_POINT, &p);
            p.geom.point.coord = {x, y, KTGEO_NO_Z};
            o.primitives = ktgeo_primitive_list_new(&p);
        } else if (i % 3 == 1) {
            std::vector<GeoCoord> pts;
            for (int k = 0; k < 10; ++k) pts.push_back({x + k * 0.1, y + (k % 2) * 0.1, KTGEO_NO_Z});
            add_curve(&o, pts);
        } else {
            add_square(&o, x, y);
        }
        ktgeo_so_complete(&o);
    }
    nlst* packs = nlst_alloc(sizeof(TePack), uint32_t(n), 1, nullptr);
    for (int i = 0; i < n; ++i) {
        TePack p;
        qd_te_pack_init(&p);
        p.keys.parent = {1, i + 1, 0};
        p.use_input = 1;
        p.input = &objects[size_t(i)];
        nlst_add(packs, &p);
    }
    int answer = 0;
    const double ours = best_seconds([&] {
        TeRules r;
        qd_te_rules_init(&r);
        qd_te_func_abstract_set_rules(&r, TE_LOADER, nullptr, 0, 0);
        r.output_method = {count_output, nullptr};
        answer = qd_te_func_abstract(packs, &r);
    }, 3);
    const double base = best_seconds([&] {
        for (SpatialObject& o : objects) {
            SpatialObject copy;
            ktgeo_so_init_empty(&copy);
            ktgeo_copy_geometry(&o, &copy);
            sink = sink + copy.env_min.x;
            ktgeo_so_release(&copy);
        }
    }, 3);
    report("LOADER, 100k mixed geometries", ours / n * 1e9, base / n * 1e9, "copying each");
    std::printf("answer %d\n", answer);
    nlst_free(packs);
    for (SpatialObject& o : objects) ktgeo_so_release(&o);
}

}  // namespace

int main() {
    bench_sort_link();
    bench_loader();
    return 0;
}
