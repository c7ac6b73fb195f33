// topo_run: the engine over text input, for tests and by hand.
#include "tools/topo_run/topo_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "geometry/ktgeo_pack.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_dump.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_islands.h"
#include "tools/topo_run/topo_wkt.h"

namespace {

bool read_double(const char* text, double* v) {
    char* end = nullptr;
    errno = 0;
    *v = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0;
}

bool read_int(const char* text, int32_t* v) {
    char* end = nullptr;
    errno = 0;
    const long x = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || x < INT32_MIN || x > INT32_MAX) return false;
    *v = int32_t(x);
    return true;
}

int32_t g_dump_event = -1;
int32_t g_faces = 0;

int32_t swallow_output(SpatialObject*, nlst*, void*) { return 1; }
int32_t swallow_eaf(SpatialObject*, void*) { return 1; }

// The face walk, containers and levels on a copy of the chain list after
// the leaving stage; the polygon list goes to faces.sdas. Nothing of it
// reaches the run's output.
void dump_faces(const nlst* chains, const TeRules* rules) {
    nlst* copy = nullptr;
    nlst* polygons = nullptr;
    nlst* negatives = nullptr;
    TeRules r = *rules;
    r.output_method = {swallow_output, nullptr};
    r.eafs_method = {swallow_eaf, nullptr};
    if (qd_te_chain_list_to_array(&copy, chains) && qd_te_walk_form(&polygons, &negatives, copy, &r) &&
        qd_te_neg_in_pos(polygons, negatives, copy, &r))
        if (r.islands == 1) qd_te_island_levels(polygons, copy);
    if (polygons && copy) qd_te_dump_poly_list(polygons, copy, "faces", 0, 1);
    qd_te_poly_list_free(&polygons);
    if (negatives) nlst_free(negatives);
    qd_te_geo_chain_list_free(&copy);
}

void dump_observer(int32_t event, const nlst* chains, const TeRules* rules, void*) {
    if (!chains) return;
    if (g_faces == 1 && event == TE_EVENT_FEATURES && rules) dump_faces(chains, rules);
    if (event != g_dump_event) return;
    char label[32];
    std::snprintf(label, sizeof label, "stage%d", int(event));
    qd_te_dump_chain_list(chains, label, 0);
}

// Runs fn with the standard output sent to err (the library's reports).
template <class Fn>
int quietly(std::FILE* err, Fn fn) {
    std::fflush(stdout);
    const int saved = dup(1);
    dup2(fileno(err), 1);
    const int r = fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return r;
}

struct Inputs {
    std::vector<SpatialObject*> objects;
    nlst* packs = nullptr;
    ~Inputs() {
        for (SpatialObject* o : objects) {
            ktgeo_so_release(o);
            delete o;
        }
        if (packs) nlst_free(packs);
    }
};

}  // namespace

int topo_run(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err) {
    if (argc < 2) {
        std::fprintf(err, "usage: topo_run MODE [name=value ...] < input\n");
        return 2;
    }
    TeRules rules;
    qd_te_rules_init(&rules);
    nlst* output = nullptr;
    TeOutputList list;
    qd_te_func_abstract_set_output_list(&list, &output, nullptr);
    std::string mode_text = argv[1];
    int32_t mode = 0;
    if (!qd_te_set_primary_aggregation(mode_text.data(), &mode)) {
        std::fprintf(err, "topo_run: unknown mode %s\n", argv[1]);
        return 2;
    }
    qd_te_func_abstract_set_rules(&rules, mode, &list, 1, 0);
    g_dump_event = -1;
    g_faces = 0;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        const size_t eq = arg.find('=');
        if (eq == std::string::npos) {
            std::fprintf(err, "topo_run: %s is not name=value\n", argv[i]);
            return 2;
        }
        const std::string name = arg.substr(0, eq);
        std::string value = arg.substr(eq + 1);
        bool ok = true;
        double d = 0;
        int32_t n = 0;
        if (name == "secondary") ok = qd_te_set_secondary_aggregation(value.data(), &rules.secondary);
        else if (name == "dim") ok = qd_te_set_output_dimension(value.data(), &rules.output_dim);
        else if (name == "tolerance") ok = read_double(value.c_str(), &rules.tolerance.tolerance);
        else if (name == "snap") {
            ok = read_double(value.c_str(), &d);
            rules.tolerance.snap_outer = rules.tolerance.snap_inner = d;
        } else if (name == "width") ok = read_double(value.c_str(), &rules.buffer.width.width);
        else if (name == "split") ok = read_int(value.c_str(), &rules.output_split);
        else if (name == "no_intersect") ok = read_int(value.c_str(), &rules.no_intersect);
        else if (name == "islands") ok = read_int(value.c_str(), &rules.islands);
        else if (name == "reconnect") ok = read_int(value.c_str(), &rules.reconnect);
        else if (name == "reconnect_option") ok = read_int(value.c_str(), &rules.reconnect_option);
        else if (name == "min_area") ok = read_double(value.c_str(), &rules.tolerance.min_area);
        else if (name == "faces") ok = read_int(value.c_str(), &g_faces) && (g_faces == 0 || g_faces == 1);
        else if (name == "dump") {
            ok = read_int(value.c_str(), &n);
            g_dump_event = n;
        } else ok = false;
        if (!ok) {
            std::fprintf(err, "topo_run: bad setting %s\n", argv[i]);
            return 2;
        }
    }
    Inputs inputs;
    inputs.packs = nlst_alloc(sizeof(TePack), 8, 8, nullptr);
    if (!inputs.packs) return 2;
    char* line = nullptr;
    size_t cap = 0;
    ssize_t len;
    int32_t row = 0;
    int status = 0;
    while ((len = getline(&line, &cap, in)) >= 0) {
        ++row;
        std::string text(line, size_t(len));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        const size_t space = text.find(' ');
        int32_t key = 0;
        if (space == std::string::npos || !read_int(text.substr(0, space).c_str(), &key)) {
            std::fprintf(err, "topo_run: line %d: <key> <WKT> expected\n", int(row));
            status = 2;
            break;
        }
        auto* object = new SpatialObject;
        ktgeo_so_init_empty(object);
        inputs.objects.push_back(object);
        std::string why;
        if (!topo_wkt_read(text.c_str() + space + 1, object, &why)) {
            std::fprintf(err, "topo_run: line %d: %s\n", int(row), why.c_str());
            status = 2;
            break;
        }
        TePack pack;
        qd_te_pack_init(&pack);
        pack.keys.parent = {1, row, 0};
        pack.keys.key = key;
        pack.use_input = 1;
        pack.input = object;
        nlst_add(inputs.packs, &pack);
    }
    std::free(line);
    if (status == 2) return 2;
    const TeStageObserver saved = qd_te_stage_observer;
    if (g_dump_event >= 0 || g_faces == 1) qd_te_stage_observer = {dump_observer, nullptr};
    const int answer = quietly(err, [&] { return qd_te_func_abstract(inputs.packs, &rules); });
    qd_te_stage_observer = saved;
    for (uint32_t i = 0; output && i < output->tally; ++i) {
        const auto* pack = static_cast<const TePack*>(nlst_index(output, i));
        std::fprintf(out, "%d:%d %s\n", int(pack->keys.parent.id_a), int(pack->keys.parent.id_b),
                     topo_wkt_write(&pack->work).c_str());
    }
    qd_te_pack_list_free(&output);
    return answer == 1 ? 0 : 1;
}
