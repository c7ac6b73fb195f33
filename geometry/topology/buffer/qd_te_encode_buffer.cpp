// Buffer encodings: in the buffer modes a primitive is encoded as the
// outline rings of its buffer zone instead of as itself. A point becomes a
// circle (or ellipse) ring; the chains go into the primitive's own list and
// the buffer sub-run assembles them.
#include <cmath>

#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_parents.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_util.h"

int qd_te_buffer_chain_settings(TeEncoder* encoder, int32_t kind, double width) {
    if (!encoder || !encoder->rules) return qd_te_missing("qd_te_buffer_chain_settings");
    encoder->ring_pending = 1;
    encoder->no_seek = 1;
    encoder->ring_kind = kind == 1 ? 1 : 0;
    encoder->parent_side = kind == 1 ? 1 : 0;
    encoder->cross_side = width >= 0.0 ? 1 : 0;
    int32_t& dim = encoder->rules->statistics.data_dim;
    if (dim < 0 || dim > 3) return 0;
    dim = 3;
    return 1;
}

int qd_te_buffer_chain_circle_expend(const GeoCoord* centre, TeEncoder* encoder, double radius, int32_t direction,
                                     int32_t* status) {
    if (!centre || !encoder || !encoder->rules || !status)
        return qd_te_missing("qd_te_buffer_chain_circle_expend");
    const TeBuffer& b = encoder->rules->buffer;
    const TeBufferWidth& w = b.width;
    const double r = std::fabs(radius), d = direction < 0 ? -1.0 : 1.0;
    const double wl = std::fabs(w.width_left), wr = std::fabs(w.width_right), wc = std::fabs(w.width);
    double a, bb;
    GeoCoord start = *centre;
    if (w.two_sided == 1) {
        a = r + d * wl;
        bb = r + d * wr;
        if (wr < wl) start.x -= d * (r + wl);
        else start.y -= d * (r + wr);
    } else {
        a = bb = r + d * wc;
        start.x -= d * (r + wc);
    }
    nlst* ring = qd_te_cogo_stroke_ellipse_arc(centre, &start, &start, centre, a, bb,
                                               static_cast<uint32_t>(b.arc_segments), w.width_option, nullptr);
    if (!ring || ring->tally < 2) {
        if (ring) nlst_free(ring);
        *status = -1;
        return 1;
    }
    const int ok = qd_te_encode_chain_path(static_cast<int32_t>(ring->tally), encoder,
                                           static_cast<GeoCoord*>(ring->data), status);
    nlst_free(ring);
    return ok;
}

int qd_te_buffer_chain_node(TeEncoder* encoder, const GeoCoord* coord, int32_t* status) {
    if (!encoder || !encoder->rules || !coord || !status) return qd_te_missing("qd_te_buffer_chain_node");
    const TeBuffer& b = encoder->rules->buffer;
    if (b.buffer_option == 0 && b.width.width < 0.0) {
        *status = -1;
        return 1;
    }
    if (!qd_te_buffer_chain_settings(encoder, 0, std::fabs(b.width.width))) return 0;
    return qd_te_buffer_chain_circle_expend(coord, encoder, 0.0, 1, status);
}

int qd_te_encode_feature_buffer(int32_t* status, TeEncoder* encoder, GeometricPrimitive* primitive) {
    if (!status || !encoder || !encoder->rules || !primitive) return qd_te_missing("qd_te_encode_feature_buffer");
    TeRules* rules = encoder->rules;
    encoder->feature_id = ++rules->statistics.tallies[1];
    qd_te_parent_set_flag(&encoder->keys.parent, TE_PARENT_P);
    switch (primitive->type) {
    case KTGEO_POINT: return qd_te_buffer_chain_node(encoder, &primitive->geom.point.coord, status);
    case KTGEO_CURVE: return qd_te_buffer_chains_from_linear(status, &primitive->geom.curve, encoder);
    case KTGEO_PATH: return qd_te_buffer_chains_from_path(status, &primitive->geom.path, encoder, 0);
    case KTGEO_POLYGON: return qd_te_buffer_chains_from_surface(status, encoder, &primitive->geom.polygon);
    default: *status = -5; return 1;
    }
}
