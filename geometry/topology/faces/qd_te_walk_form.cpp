// The face walk: polygon records, the walk along the chains' walk links,
// the chain-side bits that keep every side in one walk, the closing chain
// with the three fixed polygons, and the driver.
#include <cmath>
#include <cstdlib>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_util.h"

namespace {

constexpr double kLargest = 1.7976931348623157e308;

bool live(const TeChain* c) { return c->discard == CHAIN_OK; }

// The chain of a row, or null when the row is out of the list.
TeChain* chain_row(const nlst* chains, int32_t row) {
    return row >= 0 && uint32_t(row) < chains->tally ? qd_te_chain_at(chains, row) : nullptr;
}

}  // namespace

int qd_te_poly_init(const nlst* polygons, TePolygon* p) {
    if (!p) return qd_te_missing("qd_te_poly_init");
    *p = TePolygon{};
    p->id = polygons ? int32_t(polygons->tally) : 0;
    p->mer[0] = {1e100, 1e100, -1e6};
    p->mer[1] = {-1e100, -1e100, -1e6};
    p->yxmax = -1e100;
    p->status = 1;
    p->lookup_max = -1;
    return 1;
}

int qd_te_poly_ring_area(const nlst* coords, double* area) {
    if (!area) return qd_te_missing("qd_te_poly_ring_area");
    *area = 0;
    if (!coords || coords->tally <= 3) return 0;
    const auto* c = static_cast<const GeoCoord*>(coords->data);
    const uint32_t n = coords->tally;
    if (!qd_te_same_fuzzy_point(&c[0], &c[n - 1], 1e-10)) return 0;
    double sum = 0;
    const double y0 = c[0].y;
    for (uint32_t i = 1; i < n; ++i) sum += (c[i].x - c[i - 1].x) * ((c[i].y - y0) + (c[i - 1].y - y0));
    *area = sum / 2;
    return 1;
}

int qd_te_adjust_coord_info(TePolygon* p, const nlst* coords) {
    if (!p) return qd_te_missing("qd_te_adjust_coord_info");
    if (!coords) return 1;
    const auto* c = static_cast<const GeoCoord*>(coords->data);
    for (uint32_t i = 0; i < coords->tally; ++i) {
        if (c[i].x > p->mer[1].x) p->yxmax = c[i].y;
        p->mer[0].x = std::fmin(p->mer[0].x, c[i].x);
        p->mer[0].y = std::fmin(p->mer[0].y, c[i].y);
        p->mer[1].x = std::fmax(p->mer[1].x, c[i].x);
        p->mer[1].y = std::fmax(p->mer[1].y, c[i].y);
    }
    return 1;
}

int qd_te_poly_start_step(const TePolygon* p, const nlst* chains, TeWalkStep* step, int32_t* start_value) {
    if (!p || !chains || !step) return qd_te_missing("qd_te_poly_start_step");
    TeChain* c = chain_row(chains, p->start_chain);
    if (!c) return qd_te_missing("qd_te_poly_start_step");
    if (c->poly_left == p->id) *step = {1, c};
    else if (c->poly_right == p->id) *step = {0, c};
    else return qd_te_missing("qd_te_poly_start_step");
    if (start_value) *start_value = step->side == 1 ? p->start_chain : -p->start_chain;
    return 1;
}

int qd_te_walk_chain(const nlst* chains, const TeWalkStep* current, int32_t start, TeWalkStep* next,
                     int32_t* closed) {
    if (!chains || !current || !current->chain || !next || !closed || !live(current->chain))
        return qd_te_missing("qd_te_walk_chain");
    const int32_t link = current->side == 1 ? current->chain->left_link : current->chain->right_link;
    if (link == start) {
        *closed = 1;
        return 1;
    }
    if (link == 0) return qd_te_missing("qd_te_walk_chain");
    TeChain* c = chain_row(chains, std::abs(link));
    if (!c || !live(c)) return qd_te_missing("qd_te_walk_chain");
    *next = {link > 0 ? 1 : 0, c};
    *closed = 0;
    return 1;
}

int qd_te_chain_bit_alloc(int32_t chains, TeBitArray* bits) {
    if (!bits || chains <= 0) return qd_te_missing("qd_te_chain_bit_alloc");
    return qd_te_ba_alloc(bits, 2 * uint32_t(chains));
}

int qd_te_chain_bit_check(TeBitArray* bits, int32_t chain, int32_t side, int32_t* was_set) {
    if (!bits || !was_set) return qd_te_missing("qd_te_chain_bit_check");
    *was_set = 0;
    if (!bits->bits) return 1;
    const uint32_t half = bits->nbits / 2;
    if (chain < 0 || uint32_t(chain) >= half) return qd_te_missing("qd_te_chain_bit_check");
    int set = 0;
    if (!qd_te_ba_test_and_set(bits, side == 1 ? uint32_t(chain) : uint32_t(chain) + half, &set)) return 0;
    *was_set = set ? 1 : 0;
    return 1;
}

void qd_te_chain_bit_free(TeBitArray* bits) {
    if (bits) qd_te_ba_free(bits);
}

int qd_te_walk_all_faces(const TeWalkStep* start, const nlst* chains, nlst** steps, TeBitArray* bits,
                         int32_t use_bits) {
    if (!start || !start->chain || !chains || chains->tally == 0 || !steps || (use_bits == 1 && !bits))
        return qd_te_missing("qd_te_walk_all_faces");
    const int32_t number = start->chain->chain_id;
    const int32_t start_value = start->side == 1 ? number : -number;
    if (!live(start->chain)) return qd_te_missing("qd_te_walk_all_faces");
    auto add = [&](const TeWalkStep& step) {
        if (!qd_te_append_item_to_list(steps, &step, sizeof step)) return qd_te_no_memory();
        if (use_bits != 1) return 1;
        int32_t was = 0;
        if (!qd_te_chain_bit_check(bits, step.chain->chain_id, step.side, &was)) return 0;
        return was ? qd_te_missing("qd_te_walk_all_faces") : 1;
    };
    if (!add(*start)) return 0;
    for (;;) {
        const TeWalkStep last = *static_cast<const TeWalkStep*>(nlst_index(*steps, (*steps)->tally - 1));
        TeWalkStep next{};
        int32_t closed = 0;
        if (!qd_te_walk_chain(chains, &last, start_value, &next, &closed)) return 0;
        if (closed) return 1;
        if (!add(next)) return 0;
    }
}

int qd_te_init_walk_form(nlst* chains, nlst** polygons) {
    if (!chains || chains->tally == 0 || !polygons) return qd_te_missing("qd_te_init_walk_form");
    TePolygon p;
    qd_te_poly_init(*polygons, &p);
    p.status = 0;
    p.discard = 1;
    p.mer[0] = p.mer[1] = GeoCoord{0, 0, 0};
    const int32_t n = int32_t(chains->tally);
    TeChain closing;
    if (!qd_te_geo_copy_chain(qd_te_chain_at(chains, 0), &closing, 1)) return 0;
    closing.chain_id = n;
    closing.poly_left = 2;
    closing.poly_right = 1;
    closing.left_link = n;
    closing.right_link = -n;
    closing.discard = CHAIN_OK;
    if (!nlst_add(chains, &closing)) {
        qd_te_geo_chain_release(&closing);
        return qd_te_no_memory();
    }
    p.start_chain = n;
    const GeoCoord* m = qd_te_chain_at(chains, 0)->chain_mer;
    const double areas[3] = {std::fabs((m[1].x - m[0].x) * (m[1].y - m[0].y)), kLargest, -kLargest};
    for (int32_t k = 0; k < 3; ++k) {
        p.id = polygons && *polygons ? int32_t((*polygons)->tally) : 0;
        p.area = areas[k];
        if (!qd_te_append_item_to_list(polygons, &p, sizeof p)) return qd_te_no_memory();
    }
    return 1;
}

int qd_te_walk_form(nlst** polygons, nlst** negatives, nlst* chains, TeRules* rules) {
    if (!polygons || !negatives || !rules) return qd_te_missing("qd_te_walk_form");
    if (!chains || chains->tally <= 1) return 1;
    if (!qd_te_init_walk_form(chains, polygons)) return 0;
    if (!*polygons || (*polygons)->tally < 3) return qd_te_missing("qd_te_walk_form");
    TeBitArray bits;
    qd_te_ba_init(&bits);
    if (!qd_te_chain_bit_alloc(int32_t(chains->tally), &bits)) return 0;
    nlst* steps = nullptr;
    int ok = 1;
    for (uint32_t i = 1; ok && i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (!live(c)) continue;
        if (c->chain_type == TE_NODE) {
            ok = qd_te_walk_nodes(c, chains, rules);
            continue;
        }
        if (c->chain_type == TE_REGION || c->chain_type == TE_ISLAND) continue;
        if (c->poly_left >= 0 && c->poly_right >= 0) continue;
        const TeWalkStep start{c->poly_left < 0 ? 1 : 0, c};
        ok = qd_te_walk_all_faces(&start, chains, &steps, &bits, 1) &&
             qd_te_generate_poly(rules, negatives, steps, chains, polygons);
        if (steps) {
            nlst_free(steps);
            steps = nullptr;
        }
        --i;  // the other side may still be open
    }
    if (steps) nlst_free(steps);
    qd_te_chain_bit_free(&bits);
    return ok;
}

int qd_te_poly_list_free(nlst** polygons) {
    if (!polygons) return qd_te_missing("qd_te_poly_list_free");
    if (!*polygons) return 1;
    for (uint32_t i = 0; i < (*polygons)->tally; ++i) {
        TePolygon* p = qd_te_poly_at(*polygons, int32_t(i));
        if (p->round_cut) nlst_free(p->round_cut);
        p->round_cut = nullptr;
    }
    nlst_free(*polygons);
    *polygons = nullptr;
    return 1;
}
