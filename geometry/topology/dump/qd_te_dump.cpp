// Version stamp, chain and polygon listings, and ".sdas" dump files.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "geometry/topology/qd_te_dump.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

namespace {

const char kVersion[] = "061.008 $Date: 2004/01/27 01:01:01 $";
int32_t g_dump_counter = 0;

const char* status_name(int32_t d) {
    static const char* names[] = {"CHAIN_OK", "CHAIN_FREE", "CHAIN_DELETE", "CHAIN_INVALID",
                                  "CHAIN_SENTINAL", "CHAIN_REGION"};
    return d >= 0 && d <= 5 ? names[d] : nullptr;
}

const char* type_name(int32_t t) {
    static const char* names[] = {"REGION", "ISLAND", "PATH", "LINE", "ARC", "CIRCLE", "CURVE", "NODE", "EAF"};
    return t >= 0 && t <= 8 ? names[t] : nullptr;
}

// Opens a dump file for appending (no links followed, mode 0600).
std::FILE* open_dump(const std::string& path, const char* routine) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    std::FILE* f = fd >= 0 ? fdopen(fd, "a") : nullptr;
    if (!f) {
        if (fd >= 0) close(fd);
        std::fprintf(stderr, "%s: cannot open %s\n", routine, path.c_str());
    }
    return f;
}

void close_dump(std::FILE* f, const char* routine) {
    if (std::fclose(f) != 0) std::fprintf(stderr, "%s: cannot close the dump file\n", routine);
}

void parents_field(std::FILE* f, const char* name, const nlst* list) {
    std::fprintf(f, "%s='", name);
    for (uint32_t i = 0; list && i < list->tally; ++i) {
        if (i) std::fputc(' ', f);
        qd_te_parent_print(f, static_cast<const TeParent*>(nlst_index(list, i)));
    }
    std::fputs("';", f);
}

void write_chain(std::FILE* f, const TeChain* c) {
    std::fputs("ST_Spatial(\n", f);
    std::fprintf(f, "chain_id=%ld;chain_pid=%ld;chain_lookup=%ld;chain_lookup_max=%ld;", long(c->chain_id),
                 long(c->chain_pid), long(c->chain_lookup), long(c->chain_lookup_max));
    std::fprintf(f, "poly_left=%ld;poly_right=%ld;ql=%ld;lr=%ld;radius=%f;", long(c->poly_left),
                 long(c->poly_right), long(c->left_link), long(c->right_link), c->radius);
    if (c->adjuster == 0) std::fputs("adjuster='FALSE';", f);
    else if (c->adjuster == 1) std::fputs("adjuster='TRUE';", f);
    else std::fputs("'?^;", f);
    if (const char* s = status_name(c->discard)) std::fprintf(f, "discard='%s';", s);
    else std::fputs("'?^;", f);
    if (const char* t = type_name(c->chain_type)) std::fprintf(f, "chain_type='%s';", t);
    else std::fputs("'?^;", f);
    parents_field(f, "left_parent", c->left_parent);
    parents_field(f, "right_parent", c->right_parent);
    std::fprintf(f, "chain_mer='(%f,%f)->(%f,%f)';", c->chain_mer[0].x, c->chain_mer[0].y, c->chain_mer[1].x,
                 c->chain_mer[1].y);
    const uint32_t n = c->coords ? c->coords->tally : 0;
    if (n > 1) std::fputs("ST_Path( KT_DirectionForward( ST_Polyline( LIST{\n", f);
    for (uint32_t i = 0; i < n; ++i) {
        const auto* v = static_cast<const TeVertex*>(nlst_index(c->coords, i));
        std::fprintf(f, "  %cST_Point(%11.11f,%11.11f)\n", i ? ',' : ' ', v->x, v->y);
    }
    if (n > 1) std::fputs("})))\n", f);
    std::fputs(")\n", f);
}

}  // namespace

const char* qd_te_version() { return kVersion; }

int qd_te_version_check(const char* text) {
    if (!text) return -1;
    if (std::strcmp(text, kVersion) == 0) return 1;
    if (std::strlen(text) < 7 || std::strncmp(text, kVersion, 3) != 0) return -1;
    return std::strncmp(text + 3, kVersion + 3, 4) <= 0 ? 1 : -1;
}

int32_t qd_te_dump_next_number() { return ++g_dump_counter; }

std::string qd_te_dump_path(const char* label, int32_t number, const char* suffix) {
    const char* dir = std::getenv("QD_TE_DUMP_DIR");
    if (!dir || !*dir) dir = std::getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    if (number == -1) number = qd_te_dump_next_number();
    std::string path = dir;
    path += '/';
    if (number != 0) {
        char seq[16];
        std::snprintf(seq, sizeof seq, "%03ld", long(number));
        path += seq;
    }
    path += label ? label : "nolabel";
    path += suffix;
    return path;
}

int qd_te_dump_point(const GeoCoord* point, const char* label, const char* value) {
    if (!point || !label || !*label) return 1;
    std::FILE* f = open_dump(qd_te_dump_path(label, 0, ".sdas"), "qd_te_dump_point");
    if (!f) return 1;
    std::fputs("ST_Spatial(\n", f);
    if (value) std::fprintf(f, std::strchr(value, '=') ? "\n%s\n" : "\nvalue='%s';\n", value);
    std::fprintf(f, "ST_Point(%11.11f,%11.11f)", point->x, point->y);
    std::fputs(")\n", f);
    close_dump(f, "qd_te_dump_point");
    return 1;
}

int qd_te_dump_chain(const TeChain* chain, const char* label) {
    if (!chain || !label || !*label) return 1;
    std::FILE* f = open_dump(qd_te_dump_path(label, 0, ".sdas"), "qd_te_dump_chain");
    if (!f) return 1;
    write_chain(f, chain);
    close_dump(f, "qd_te_dump_chain");
    return 1;
}

int qd_te_dump_chain_list(const nlst* chains, const char* label, int32_t number) {
    if (!chains) return qd_te_missing("qd_te_dump_chain_list");
    std::FILE* f = open_dump(qd_te_dump_path(label, number, ".sdas"), "qd_te_dump_chain");
    if (!f) return 1;
    for (uint32_t i = 0; i < chains->tally; ++i) {
        const TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard == CHAIN_OK || c->discard == CHAIN_REGION) write_chain(f, c);
    }
    close_dump(f, "qd_te_dump_chain");
    return 1;
}

int qd_te_dump_poly(const nlst* points, const char* label, int32_t kind, int32_t number) {
    if (!points) return qd_te_missing("qd_te_dump_poly");
    std::FILE* f = open_dump(qd_te_dump_path(label, number, ".sdas"), "qd_te_dump_poly");
    if (!f) return 1;
    std::fputs(kind == 1 ? "ST_Spatial(ST_Path(ST_Polyline(LIST{" : "ST_Spatial(LIST{", f);
    for (uint32_t i = 0; i < points->tally; ++i) {
        const auto* p = static_cast<const GeoCoord*>(nlst_index(points, i));
        std::fprintf(f, "%sST_Point(%f,%f)", i ? ",\n" : "", p->x, p->y);
    }
    std::fputs(kind == 1 ? "})))\n" : "})\n", f);
    close_dump(f, "qd_te_dump_poly");
    return 1;
}

namespace {

const char* flag_text(int32_t v) { return v == 1 ? "'TRUE';" : v == 0 ? "'FALSE';" : "'?^;"; }

// The vertices of a chain; with step above 1 the first two, then every
// step-th, and the last.
void write_polygon_chain(std::FILE* f, const TeChain* c, bool first, int32_t step) {
    std::fprintf(f, "%cST_Path( ST_Polyline( LIST{\n", first ? ' ' : ',');
    const uint32_t n = c->coords ? c->coords->tally : 0;
    const uint32_t stride = step > 1 ? uint32_t(step) : 1;
    for (uint32_t i = 0; i < n;) {
        const auto* v = static_cast<const TeVertex*>(nlst_index(c->coords, i));
        std::fprintf(f, "  %cST_Point(%11.11f,%11.11f)\n", i ? ',' : ' ', v->x, v->y);
        if (i + 1 == n) break;
        i = i == 0 ? 1 : i + stride < n ? i + stride : n - 1;
    }
    std::fputs("}))\n", f);
}

void write_polygon_parents(std::FILE* f, const TePolygon* p, const TeChain* c, int32_t side) {
    const nlst* list = side == 1 ? c->left_parent : c->right_parent;
    for (uint32_t i = 0; list && i < list->tally; ++i) {
        const auto* q = static_cast<const TeParent*>(nlst_index(list, i));
        std::fprintf(f, "ST_Spatial(st_point(0,0)pid=%ld;chain_id=%ld;parentid=%ld:%ld;parentfreq=%ld;parentflags=",
                     long(p->id), long(c->chain_id), long(q->id_a), long(q->id_b),
                     long(qd_te_parent_frequency(q)));
        if (qd_te_parent_has_flag(q, TE_PARENT_L)) std::fputc('L', f);
        if (qd_te_parent_has_flag(q, TE_PARENT_P)) std::fputc('P', f);
        if (qd_te_parent_has_flag(q, TE_PARENT_S)) std::fputc('S', f);
        std::fputs(";)\n", f);
    }
}

int dump_polygon(const TePolygon* p, const nlst* chains, const char* label, int32_t number, int32_t step) {
    TeWalkStep at{};
    int32_t start = 0;
    const TeChain* s = p->start_chain >= 0 && uint32_t(p->start_chain) < chains->tally
                           ? qd_te_chain_at(chains, p->start_chain) : nullptr;
    if (!s || (s->poly_left != p->id && s->poly_right != p->id) ||
        !qd_te_poly_start_step(p, chains, &at, &start)) {
        std::printf("No poly for %s\n", label ? label : "nolabel");
        return 1;
    }
    std::FILE* f = open_dump(qd_te_dump_path(label, number, ".sdas"), "qd_te_dump_poly");
    if (!f) return 1;
    std::FILE* par = open_dump(qd_te_dump_path(label, number, "par.sdas"), "qd_te_dump_poly");
    std::vector<int32_t> walk;
    std::fputs("ST_Spatial( LIST{\n", f);
    for (size_t guard = 0; guard <= 2 * chains->tally; ++guard) {
        write_polygon_chain(f, at.chain, walk.empty(), step);
        if (par) write_polygon_parents(par, p, at.chain, at.side);
        walk.push_back(at.chain->chain_id);
        TeWalkStep next{};
        int32_t closed = 0;
        if (!qd_te_walk_chain(chains, &at, start, &next, &closed) || closed) break;
        at = next;
    }
    std::fprintf(f, "pid=%ld;count=%ld;island_list=%ld;hole_list=%ld;inside=%ld;lookup_max=%ld;lookup_min=%ld;",
                 long(p->id), long(p->count), long(p->island_list), long(p->hole_list), long(p->inside),
                 long(p->lookup_max), long(p->lookup_min));
    std::fprintf(f, "n_parents=%ld;n_coords=%ld;", long(p->n_parents), long(p->n_coords));
    std::fputs(p->status == 1 ? "status='T (closed)';" : "status='F (OPEN)';", f);
    std::fprintf(f, "discard=%sspike=%starget=%scutter=%s", flag_text(p->discard), flag_text(p->spike),
                 flag_text(p->target), flag_text(p->cutter));
    std::fprintf(f, "yxmax=%f;area=%f;mer='(%f,%f)->(%f,%f)';", p->yxmax, p->area, p->mer[0].x, p->mer[0].y,
                 p->mer[1].x, p->mer[1].y);
    std::fputs("round_cut='", f);
    for (uint32_t i = 0; p->round_cut && i < p->round_cut->tally; ++i)
        std::fprintf(f, "%ld ", long(*static_cast<const int32_t*>(nlst_index(p->round_cut, i))));
    std::fputs("';chains='", f);
    if (!walk.empty() && walk[0] != p->start_chain) std::fprintf(f, "** %ld ** ", long(p->start_chain));
    const size_t n = walk.size();
    for (size_t i = 0; i < n; ++i) {
        if (n > 50 && i == 41) {
            std::fputs("... ", f);
            i = n - 4;
        }
        std::fprintf(f, "%ld ", long(walk[i]));
    }
    std::fputs("';})\n", f);
    if (par) close_dump(par, "qd_te_dump_poly");
    close_dump(f, "qd_te_dump_poly");
    return 1;
}

}  // namespace

int qd_te_dump_polygon(const TePolygon* polygon, const nlst* chains, const char* label, int32_t number,
                       int32_t step) {
    if (!polygon || !chains) return qd_te_missing("qd_te_dump_polygon");
    return dump_polygon(polygon, chains, label, number, step);
}

int qd_te_dump_poly_list(const nlst* polygons, const nlst* chains, const char* label, int32_t number,
                         int32_t step) {
    if (!polygons || !chains) return qd_te_missing("qd_te_dump_poly_list");
    if (number == -1) number = qd_te_dump_next_number();
    for (uint32_t i = 0; i < polygons->tally; ++i)
        if (!dump_polygon(qd_te_poly_at(polygons, int32_t(i)), chains, label, number, step)) return 0;
    return 1;
}

int qd_te_debug_list_chain(const TeChain* c, int32_t full) {
    if (!c) return qd_te_missing("qd_te_debug_list_chain");
    const char* line = " --------------------------------------\n";
    std::printf("%s      CHAIN: id: %ld - pid:%ld ...\n%s", line, long(c->chain_id), long(c->chain_pid), line);
    std::printf("  <> link fore/back/free: %ld - %ld - %ld ...\n", long(c->link_fore), long(c->link_back),
                long(c->link_free));
    switch (c->chain_type) {
    case TE_REGION: std::printf("  <> type: REGION ...\n"); break;
    case TE_ISLAND: std::printf("  <> type: ISLAND ...\n"); break;
    case TE_PATH: std::printf("  <> type: PATH ...\n"); break;
    case TE_LINE: std::printf("  <> type: LINE ...\n"); break;
    case TE_ARC:
    case TE_CIRCLE:
        std::printf(c->chain_type == TE_ARC ? "  <> type: ARC ...\n" : "  <> type: CIRCLE ...\n");
        std::printf("  <> radius: %f ...\n", c->radius);
        break;
    case TE_CURVE:
        std::printf("  <> type: CURVE ...\n");
        std::printf("  <> tangent start: %f  ...\n", double(c->tangent.start_angle));
        std::printf("  <> tangent   end: %f  ...\n", double(c->tangent.end_angle));
        std::printf("  <> tangent  type: %ld ...\n", long(c->tangent.type));
        break;
    case TE_NODE:
        if (c->node_dynamic) {
            std::printf("  <> type: NODE DYMANIC...\n");
            const TeNodeDynamic& d = *c->node_dynamic;
            std::printf("  <> node dynamic: %f - %f - pnt:%f - %f - %f ...\n", double(d.a), double(d.b),
                        d.point.x, d.point.y, d.point.z);
        } else {
            std::printf("  <> type: NODE REGULAR...\n");
        }
        break;
    default: std::printf("  <> type: UNKNOWN/ERROR ...\n"); break;
    }
    switch (c->discard) {
    case CHAIN_OK:
        std::printf("  <> status: OK ...\n");
        if (c->adjuster == 1) std::printf("  <> adjuster: QD_TRUE ...\n");
        break;
    case CHAIN_FREE: std::printf("  <> status: FREE ...\n"); break;
    case CHAIN_DELETE: std::printf("  <> status: DELETED ...\n"); break;
    case CHAIN_INVALID: std::printf("  <> status: INVALID ...\n"); break;
    case CHAIN_SENTINAL: std::printf("  <> status: SENTINAL ...\n"); break;
    case CHAIN_REGION: std::printf("  <> status: REGION ...\n"); break;
    default: std::printf("  <> status: UNKNOWN/ERROR ...\n"); break;
    }
    const long nv = c->coords ? long(c->coords->tally) : 0;
    const long nr = c->right_parent ? long(c->right_parent->tally) : 0;
    const long nl = c->left_parent ? long(c->left_parent->tally) : 0;
    std::printf("  <> key/lookup/lookup_max: %d / %ld / %ld ...\n", int(c->chain_type), long(c->chain_lookup),
                long(c->chain_lookup_max));
    std::printf("  <> mer:%.10f - %.10f - %.10f - %.10f ...\n", c->chain_mer[0].x, c->chain_mer[0].y,
                c->chain_mer[1].x, c->chain_mer[1].y);
    std::printf("  <> #coords/nrpar/nlpar: %ld / %ld / %ld  ...\n", nv, nr, nl);
    std::printf("  <> #polyl/polyr/ql/lr: %ld / %ld / %ld / %ld ...\n", long(c->poly_left), long(c->poly_right),
                long(c->left_link), long(c->right_link));
    std::printf("  <> Coords List \n");
    auto vertex = [&](long i) {
        const auto* v = static_cast<const TeVertex*>(nlst_index(c->coords, uint32_t(i)));
        std::printf("  ---->id#%ld: %.10f -- %.10f -- %f -- tol:%.10f ...\n", i, v->x, v->y, v->z, v->tol);
    };
    if (full) {
        for (long i = 0; i < nv; ++i) vertex(i);
        std::printf("  <> Left Parents:");
        for (long i = 0; i < nl; ++i) {
            const auto* p = static_cast<const TeParent*>(nlst_index(c->left_parent, uint32_t(i)));
            std::printf(" [%ld:%ld/%ld] ", long(p->id_a), long(p->id_b), long(p->packed));
        }
        std::printf(" \n  <> Right Parents:");
        for (long i = 0; i < nr; ++i) {
            const auto* p = static_cast<const TeParent*>(nlst_index(c->right_parent, uint32_t(i)));
            std::printf(" [%ld:%ld/%ld ] ", long(p->id_a), long(p->id_b), long(p->packed));
        }
        std::printf(" \n");
    } else if (nv > 0) {
        vertex(0);
        if (nv > 1) vertex(nv - 1);
    }
    return 1;
}

int qd_te_debug_list_poly(const TePolygon* p) {
    if (!p) return qd_te_missing("qd_te_debug_list_poly");
    const char* line = " =============================================\n";
    std::printf("%s      POLYGON: id: %ld ...\n%s", line, long(p->id), line);
    std::printf("  <> start_chain/island_list/inside: %ld - %ld  - %ld ...\n", long(p->start_chain),
                long(p->island_list), long(p->inside));
    std::printf("  <> count/yxmax/area: %ld - %f - %.12f  ...\n", long(p->count), p->yxmax, p->area);
    std::printf("  <> lookup_min/lookup_max: %ld - %ld  ...\n", long(p->lookup_min), long(p->lookup_max));
    std::printf("  <> n_parents/hole_list: %ld - %ld ...\n", long(p->n_parents), long(p->hole_list));
    std::printf("  <> Spike/inside_target/cutter: %s - %s - %s ...\n", p->spike ? "Yes" : "No",
                p->target ? "INSIDE" : "OUTSIDE", p->cutter ? "INSIDE" : "OUTSIDE");
    std::printf("  <> mer: st_llb_point:%f - %f - %f - %f ...\n", p->mer[0].x, p->mer[0].y, p->mer[1].x,
                p->mer[1].y);
    std::printf(p->status ? "  <> status: OK/CLOSED ...\n" : "  <> status: UNCLOSED ...\n");
    std::printf(p->discard ? "  <> discard: YES ...\n" : "  <> discard: NO ...\n");
    std::printf("%s", line);
    return 1;
}

int qd_te_debug_list_poly_chain(const TePolygon* p, const nlst* chains) {
    if (!p || !chains) return qd_te_missing("qd_te_debug_list_poly_chain");
    if (p->discard) return qd_te_debug_list_poly(p);
    TeWalkStep at{};
    int32_t start = 0;
    if (!qd_te_poly_start_step(p, chains, &at, &start)) return 0;
    qd_te_debug_list_poly(p);
    const char* line = " ---------------------------------------------\n";
    std::printf("%s      Chains List: id: %ld ...\n%s", line, long(p->count), line);
    int ok = 1;
    for (size_t guard = 0; guard <= 2 * chains->tally; ++guard) {
        qd_te_debug_list_chain(at.chain, 0);
        TeWalkStep next{};
        int32_t closed = 0;
        if (!(ok = qd_te_walk_chain(chains, &at, start, &next, &closed)) || closed) break;
        at = next;
    }
    std::printf("%s", line);
    return ok;
}

int qd_te_debug_list_chain_order(const nlst* chains, int32_t full) {
    if (!chains) return qd_te_missing("qd_te_debug_list_chain_order");
    std::printf(" !!!!!!!!!!!!!!!!!!!!LIST LINKED CHAINS !!!!!!!!!!!!!!!!!!!!!\n");
    int32_t index = 0;
    TeChain* next = nullptr;
    while (qd_te_link_get_next_chain(chains, &index, &next) && next) {
        qd_te_debug_list_chain(next, full);
        if (next->chain_id != index)
            std::printf(" <<<<<<<  ID UNMATCHED chain_id:%ld -- chain_pos:%ld >>>>>>>>\n", long(next->chain_id),
                        long(index));
    }
    std::printf(" !!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n");
    return 1;
}

int qd_te_debug_list_chain_list(const nlst* chains, int32_t full) {
    if (!chains) return qd_te_missing("qd_te_debug_list_chain_list");
    std::printf(" !!!!!!!!!!!!!!!!!!!!LIST SEQ CHAINS !!!!!!!!!!!!!!!!!!!!!\n");
    for (uint32_t i = 0; i < chains->tally; ++i) {
        const TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_DELETE) qd_te_debug_list_chain(c, full);
    }
    std::printf(" !!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n");
    return 1;
}
