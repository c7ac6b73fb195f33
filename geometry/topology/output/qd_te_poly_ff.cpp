// Surface output driver: walks the chain graph into polygons, places the
// islands, applies the sliver, level and dangle rules and hands the list to
// the build of the operation; and one polygon to geometry: the output
// checks, the polygon with its holes, and the curve form of unclosed
// results and of node or linear output.
#include <cmath>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/output/qd_te_poly_internal.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_islands.h"

void qd_te_nested_begin(TeNestedRules* nested, TeRules* outer) {
    nested->outer = outer;
    nested->copy = *outer;
    nested->saved_handler = qd_fail_state.handler;
    // The copy reports through its own error method while it runs.
    if (qd_fail_state.handler == &outer->error_method) qd_fail_set_handler(&nested->copy.error_method);
}

void qd_te_nested_end(TeNestedRules* nested) {
    qd_fail_set_handler(static_cast<FailHandler*>(nested->saved_handler));
    nested->outer->statistics = nested->copy.statistics;
}

int qd_te_poly_release_cutter_lists(nlst* polygons) {
    if (!polygons) return 1;
    for (uint32_t i = 0; i < polygons->tally; ++i) {
        TePolygon* p = qd_te_poly_at(polygons, int32_t(i));
        if (p->round_cut) nlst_free(p->round_cut);
        p->round_cut = nullptr;
    }
    return 1;
}

int qd_te_surface_drop_holes(nlst* chains, nlst* polygons, TeRules* rules) {
    if (!chains || !polygons || !rules) return qd_te_missing("qd_te_surface_drop_holes");
    if (polygons->tally == 0) return 1;
    const int32_t n = int32_t(polygons->tally);
    int32_t guard = n;
    for (int32_t i = qd_te_poly_at(polygons, 0)->hole_list; i > 0 && i < n && guard-- > 0;
         i = qd_te_poly_at(polygons, i)->hole_list)
        qd_te_poly_at(polygons, i)->discard = 1;
    return 1;
}

int qd_te_output_form_surf_check(TePolygon* p, TeRules* rules, nlst* polygons, int32_t counting) {
    if (!p || !rules || !polygons) return qd_te_missing("qd_te_output_form_surf_check");
    if (p->discard == 1) return 1;
    const bool lines = rules->output_dim == TE_DIM_NODE || rules->output_dim == TE_DIM_LINEAR;
    const double min_area = rules->tolerance.min_area;
    if (lines) {
        rules->secondary = TE_LINEAR;
        p->status = 0;
    } else if (p->status == 1 && std::fabs(p->area) < min_area) {
        p->discard = 1;  // a sliver
        return 1;
    }
    const int32_t n = int32_t(polygons->tally);
    int32_t guard = n;
    for (int32_t i = p->island_list; i > 0 && i < n && guard-- > 0; i = qd_te_poly_at(polygons, i)->island_list) {
        TePolygon* q = qd_te_poly_at(polygons, i);
        if (q->discard == 1) continue;
        if (lines) {
            q->status = 0;
            continue;
        }
        if (q->status == 1) {
            if (std::fabs(q->area) < min_area) q->discard = 1;
            continue;
        }
        if (rules->drop_unclosed == 1) q->discard = 1;
        else if (rules->secondary == TE_INCURSION) {
            if (rules->dissolve_drop == 1) q->discard = 1;
        } else if (rules->secondary == TE_EXCURSION) {
            q->discard = 1;
        } else {
            p->status = 0;
            break;
        }
    }
    if (lines) return 1;
    TeCounters& out = rules->statistics.output_counters;
    if (p->status == 0) {
        if (counting == 1 && rules->secondary != TE_DISCARD && rules->secondary != TE_EXCURSION)
            ++out.count[TE_OUT_UNCLOSED];
        const int32_t mode = rules->mode;
        if (mode == TE_SPLIT || mode == TE_ERASE_IN || mode == TE_ERASE_OUT || mode == TE_SYMMETRIC_DIFFERENCE ||
            mode == TE_DIFFERENCE)
            p->island_list = 0;
    } else if (counting == 1) {
        ++out.count[TE_OUT_CLOSED];
    }
    return 1;
}

namespace {

struct Curves {
    nlst* list = nullptr;
    ~Curves() {
        if (list) ktgeo_curve_list_free(list);
    }
    // Moves the curves into the object as curve primitives.
    int to_object(SpatialObject* object) {
        for (uint32_t i = 0; list && i < list->tally; ++i)
            if (!qd_te_output_add_new_curve_to_geom(static_cast<GeoCurve*>(nlst_index(list, i)), object)) return 0;
        return 1;
    }
};

int curves_to_path(nlst* curves, GeoPath* path) {
    ktgeo_path_init(path);
    path->curves = curves;
    path->closed = 1;
    path->connected = 1;
    return 1;
}

}  // namespace

int qd_te_output_form_curve(TePolygon* p, SpatialObject* object, nlst* polygons, nlst* chains, TeRules* rules,
                            int32_t merge) {
    if (!p || !object || !polygons || !chains || !rules) return qd_te_missing("qd_te_output_form_curve");
    {
        Curves c;
        if (!qd_te_output_walk_curves(p, &c.list, chains, rules, merge) || !c.to_object(object)) return 0;
    }
    if (p->discard == 1) return 1;
    const int32_t n = int32_t(polygons->tally);
    int32_t guard = n;
    for (int32_t i = p->island_list; i > 0 && i < n && guard-- > 0;) {
        TePolygon* q = qd_te_poly_at(polygons, i);
        i = q->island_list;
        q->island_list = 0;
        if (q->discard == 1 || q->status == 1) continue;
        Curves c;
        if (!qd_te_output_walk_curves(q, &c.list, chains, rules, merge) || !c.to_object(object)) return 0;
    }
    p->island_list = 0;
    return 1;
}

int qd_te_output_polygon_as_linear(const GeoPolygon* polygon, SpatialObject* object) {
    if (!polygon || !object) return qd_te_missing("qd_te_output_polygon_as_linear");
    auto path_curves = [&](const GeoPath* path) {
        for (uint32_t i = 0; path->curves && i < path->curves->tally; ++i)
            if (!qd_te_output_add_new_curve_to_geom(static_cast<const GeoCurve*>(nlst_index(path->curves, i)), object))
                return 0;
        return 1;
    };
    if (!path_curves(&polygon->exterior)) return 0;
    for (uint32_t i = 0; polygon->interiors && i < polygon->interiors->tally; ++i)
        if (!path_curves(static_cast<const GeoPath*>(nlst_index(polygon->interiors, i)))) return 0;
    return 1;
}

int qd_te_output_form_poly(TePolygon* p, TeRules* rules, SpatialObject* object, nlst* polygons, nlst* chains) {
    if (!p || !rules || !object || !polygons || !chains) return qd_te_missing("qd_te_output_form_poly");
    GeoPolygon polygon;
    ktgeo_polygon_init(&polygon);
    struct Guard {
        GeoPolygon* g;
        bool owned = true;
        ~Guard() {
            if (owned) ktgeo_polygon_release(g);
        }
    } guard{&polygon};
    nlst* exterior = nullptr;
    if (!qd_te_output_walk_curves(p, &exterior, chains, rules, rules->reconnect)) {
        if (exterior) ktgeo_curve_list_free(exterior);
        return 0;
    }
    curves_to_path(exterior, &polygon.exterior);
    bool spike = p->spike == 1;
    const int32_t n = int32_t(polygons->tally);
    int32_t steps = n;
    for (int32_t i = p->island_list; i > 0 && i < n && steps-- > 0;) {
        TePolygon* q = qd_te_poly_at(polygons, i);
        i = q->island_list;
        q->island_list = 0;
        if (q->discard == 1) continue;
        if (q->status == 1) {
            nlst* curves = nullptr;
            if (!qd_te_output_walk_curves(q, &curves, chains, rules, rules->reconnect)) {
                if (curves) ktgeo_curve_list_free(curves);
                return 0;
            }
            GeoPath hole;
            curves_to_path(curves, &hole);
            if (!polygon.interiors && !(polygon.interiors = nlst_alloc(sizeof(GeoPath), 2, 2, nullptr))) {
                ktgeo_path_release(&hole, nullptr);
                return qd_te_no_memory();
            }
            if (!nlst_add(polygon.interiors, &hole)) {
                ktgeo_path_release(&hole, nullptr);
                return qd_te_no_memory();
            }
            if (q->spike == 1) spike = true;
        } else if (rules->secondary != TE_EXCURSION) {
            Curves c;
            if (!qd_te_output_walk_curves(q, &c.list, chains, rules, rules->reconnect) || !c.to_object(object)) return 0;
            ++rules->statistics.output_counters.count[TE_OUT_UNCLOSED];
        }
    }
    p->island_list = 0;
    if (spike && rules->output_dim == TE_DIM_SURFACE &&
        (rules->secondary == TE_INCURSION || rules->secondary == TE_EXCURSION)) {
        guard.owned = false;
        const int ok = qd_te_output_validate_spike_surface(&polygon, object, rules);
        ktgeo_polygon_release(&polygon);
        return ok;
    }
    if (!ktgeo_util_add_new_polygon(object, &polygon)) return 0;
    guard.owned = false;
    return 1;
}

int qd_te_output_form_surf(TePolygon* p, SpatialObject* object, nlst* chains, nlst* polygons, TeRules* rules) {
    if (!p || !object || !chains || !polygons || !rules) return qd_te_missing("qd_te_output_form_surf");
    if (rules->output_dim == TE_DIM_NODE || rules->output_dim == TE_DIM_LINEAR) {
        p->status = 0;
        object->flag = 1;
        return qd_te_output_form_curve(p, object, polygons, chains, rules, 1);
    }
    return qd_te_output_form_poly(p, rules, object, polygons, chains);
}

int qd_te_output_surfaces(TeRules* rules, TePolygon* p, SpatialObject* object, nlst* polygons, nlst* chains,
                          nlst** parents) {
    if (!rules || !p || !object || !polygons || !chains || !parents) return qd_te_missing("qd_te_output_surfaces");
    if (p->discard == 1) return 1;
    if (!qd_te_surface_collect_parents(p, polygons, chains, parents, 4, rules)) return 0;
    if (!qd_te_output_form_surf_check(p, rules, polygons, 1)) return 0;
    if (p->discard == 1) return 1;
    if (p->status == 0) {
        switch (rules->secondary) {
        case TE_DISCARD: case TE_EXCURSION: return 1;
        case TE_NONE:
            if (rules->output_dim == TE_DIM_SURFACE) break;
            object->flag = 1;
            break;
        case TE_INCURSION: case TE_LINEAR:
            object->flag = 1;
            return qd_te_output_form_curve(p, object, polygons, chains, rules, rules->reconnect);
        default:
            qd_te_error_method(-13, &rules->error_method);
            return 0;
        }
        if (rules->output_dim == TE_DIM_SURFACE) return qd_te_output_form_poly(p, rules, object, polygons, chains);
    }
    return qd_te_output_form_surf(p, object, chains, polygons, rules);
}

int qd_te_poly_ff(nlst* chains, TeRules* rules, int32_t quiet) {
    if (!rules) return qd_te_missing("qd_te_poly_ff");
    auto event = [&](int32_t e) { return quiet ? 1 : (qd_te_stage_event(rules, chains, e) ? 1 : 0); };
    nlst* polygons = nullptr;
    nlst* negatives = nullptr;
    // The secondary code may turn to SINGLE for this run only.
    const int32_t secondary = rules->secondary;
    auto done = [&](int ok) {
        qd_te_poly_release_cutter_lists(polygons);
        if (polygons) nlst_free(polygons);
        if (negatives) nlst_free(negatives);
        rules->secondary = secondary;
        return ok;
    };
    if (!event(13) || !qd_te_walk_form(&polygons, &negatives, chains, rules)) return done(0);
    if (!event(14)) return done(0);
    if (polygons && negatives && negatives->tally > 0 && !qd_te_neg_in_pos(polygons, negatives, chains, rules))
        return done(0);
    if (negatives) nlst_free(negatives);
    negatives = nullptr;
    if (!polygons || polygons->tally == 0) {
        // Nothing to build; a mode without a build is still refused.
        switch (rules->mode) {
        case TE_SINGLE: case TE_ALL: case TE_JOIN: case TE_PRESERVE: case TE_UNCLOSED: case TE_OVERLAY_NODES:
        case TE_ALL_PRESERVE: case TE_SPLIT: case TE_ERASE_IN: case TE_ERASE_OUT: case TE_DIFFERENCE:
        case TE_CONTIGUOUS: case TE_DISSOLVE: case TE_BUFFER: case TE_BUFFER_ALL: case TE_BUFFER_SPLIT:
        case TE_BUFFER_OVERLAP: case TE_INTERSECT: case TE_SYMMETRIC_DIFFERENCE: case TE_RELATE: case TE_SURFACE_22:
        case TE_BREAK:
            return done(1);
        default:
            qd_te_error_method(-12, &rules->error_method);
            return done(0);
        }
    }
    if (!event(15) || !qd_te_surface_drop_holes(chains, polygons, rules)) return done(0);
    if (rules->islands == 1 && !qd_te_island_levels(polygons, chains)) return done(0);
    if (!event(16) || !qd_te_prune_dangles(polygons, chains, rules)) return done(0);
    if (!event(TE_EVENT_SURFACES)) return done(0);
    switch (rules->mode) {
    case TE_SINGLE: case TE_ALL: case TE_JOIN: case TE_PRESERVE: case TE_UNCLOSED: case TE_OVERLAY_NODES:
    case TE_ALL_PRESERVE:
        return done(qd_te_build_single(chains, polygons, rules));
    case TE_SPLIT: case TE_ERASE_IN: case TE_ERASE_OUT: case TE_DIFFERENCE:
        return done(qd_te_build_cutter(chains, polygons, rules));
    case TE_CONTIGUOUS: case TE_DISSOLVE: case TE_BUFFER: case TE_BUFFER_ALL: case TE_BUFFER_SPLIT:
    case TE_BUFFER_OVERLAP:
        return done(qd_te_build_contiguous(polygons, chains, rules));
    case TE_INTERSECT: case TE_SYMMETRIC_DIFFERENCE: case TE_RELATE:
        return done(qd_te_build_overlay(chains, polygons, rules));
    case TE_SURFACE_22:
        if (!event(TE_EVENT_BUFFERING)) return done(0);
        return done(qd_te_build_buffer_all(chains, polygons, rules));
    case TE_BREAK:
        return done(qd_te_build_break(chains, polygons, rules));
    default:
        qd_te_error_method(-12, &rules->error_method);
        return done(0);
    }
}
