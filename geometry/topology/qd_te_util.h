// The engine's rules record and settings: the records a run is steered by
// (tolerances, Z treatment, buffer widths, primitive filter, statistics,
// callbacks, clock, input keys and packs), their initialisers and
// verification, the operation / dimension / secondary-code check, the
// keyword tables, the relate pattern, the callbacks' dispatchers, the
// primitive filter and the list utilities of the engine.
//
// Engine convention: 1 success, 0 failure; a null required argument is
// reported as "UKT1M" with "function%s" and the routine's name.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_error.h"
#include "geometry/topology/qd_te_parents.h"

// Operations (primary aggregation codes) and secondary codes share one space.
enum : int32_t {
    TE_SINGLE = 0, TE_SPLIT = 1, TE_ALL = 2, TE_BRANCH = 3, TE_CONTIGUOUS = 4, TE_DISSOLVE = 5,
    TE_ERASE_IN = 6, TE_ERASE_OUT = 7, TE_BUFFER = 8, TE_ADJACENT = 10, TE_JOIN = 11,
    TE_PRESERVE = 12, TE_UNCLOSED = 13, TE_INTERSECT = 14, TE_INTERSECT_NODES = 15,
    TE_OVERLAY_NODES = 16, TE_SYMMETRIC_DIFFERENCE = 17, TE_DISCARD = 18, TE_NONE = 19,
    TE_INCURSION = 20, TE_EXCURSION = 21, TE_SURFACE_22 = 22, TE_ALL_PRESERVE = 23,
    TE_BREAK = 24, TE_COMMON_EDGE = 25, TE_COMMON_CROSS = 26, TE_COMMON_TOUCH = 27,
    TE_COMMON_ENDS = 28, TE_COMMON_ALL = 29, TE_CROSSING = 30, TE_ALL_CROSSING = 31,
    TE_BUFFER_ALL = 32, TE_BUFFER_SPLIT = 33, TE_BUFFER_OVERLAP = 34, TE_CONVEX_HULL = 35,
    TE_DIFFERENCE = 36, TE_DISTANCE = 37, TE_MIN = 38, TE_MAX = 39, TE_LOADER = 40,
    TE_RELATE = 41, TE_BOUNDARY = 42, TE_SHARED = 43, TE_ADJUST = 44, TE_LINEAR = 45,
    TE_ALL_POINTS = 46,
};
// Output dimensions.
enum : int32_t { TE_DIM_ANY = 0, TE_DIM_NODE = 1, TE_DIM_LINEAR = 2, TE_DIM_SURFACE = 3 };

struct TeTolerance {
    int32_t tolerance_only;
    double snap_outer;
    double snap_inner;
    double vertex_tolerance;
    double bend_filter;
    double distance_filter;
    double min_area;
    double tolerance;  // base tolerance of every fuzzy comparison
};

struct TeZcrd {
    int32_t zmode;  // 0 every Z = zvalue, 1 Z near zmatch = zvalue, else kept
    double zvalue;
    double zmatch;
};

struct TeBufferWidth {
    int32_t own_width;
    double width;
    double width_left;
    double width_right;
    int32_t two_sided;
    int32_t width_option;
};

struct TeBuffer {
    TeBufferWidth width;
    int32_t buffer_option;
    int32_t arc_segments;
    int32_t buffer_option_b;
};

struct TeFilter {
    int32_t drop_points;
    int32_t drop_curves;
    int32_t drop_polylines;
    int32_t drop_open_arcs;
    int32_t drop_closed_arcs;
    int32_t drop_splines;
    int32_t drop_paths;
    int32_t drop_open_paths;
    int32_t drop_polygons;
    int32_t drop_invalid_polygons;
    int32_t drop_broken_holes;
    int32_t drop_all;
};

inline constexpr int TE_COUNTERS = 14;
struct TeCounters {
    int32_t count[TE_COUNTERS];
};

struct TeStatistics {
    TeCounters input_counters;
    TeCounters output_counters;
    int32_t data_dim;
    int32_t target_dim;
    int32_t operand_dim;
    double data_extent[6];
    double max_tolerance;
    double measures[4];
    int32_t tallies[8];
};

// The stage log's clock, in seconds of the system clock.
struct TeClock {
    int64_t last_time_event;
    int64_t start_time;
    int64_t last_stage_time;
};

// Output method: result geometry, its parents (nlst of TeParent, may be
// null), user data; 1 to go on.
struct TeOutputCallback {
    int32_t (*function)(SpatialObject* result, nlst* parents, void* user);
    void* user;
};
// Method for the geometries of EAF chains.
struct TeEafsCallback {
    int32_t (*function)(SpatialObject* geometry, void* user);
    void* user;
};
// The four callbacks of a run as one block, in the rules record's order.
struct TeCallbacks {
    TeOutputCallback output_method;
    TeEafsCallback eafs_method;
    TeCallback event_method;
    TeCallback error_method;
};

struct TeRules {
    double work_extent[6];
    int32_t output_dim;
    int32_t mode;
    int32_t secondary;
    int32_t output_split;
    int32_t no_cluster;
    int32_t cluster_option;
    int32_t no_intersect;
    int32_t islands;
    int32_t convex;
    int32_t dissolve_drop;
    int32_t drop_unclosed;
    int32_t dissolve_islands;
    int32_t output_option_1;
    int32_t output_option_2;
    int32_t output_option_3;
    int32_t input_option_1;
    int32_t input_option_2;
    int32_t per_input_buffer;
    int32_t clip_output;
    int32_t reconnect_option;
    int32_t reconnect;
    TeBuffer buffer;
    TeZcrd zcrd;
    TeTolerance tolerance;
    TeStatistics statistics;
    TeOutputCallback output_method;
    TeEafsCallback eafs_method;
    TeCallback event_method;
    TeCallback error_method;
    TeClock clock;
    int32_t output_csid;
    int32_t chain_increment;
};

struct TeKeys {
    TeParent parent;
    int32_t key;  // < 0 target input, >= 0 operand input
    TeTolerance tolerance;
    TeFilter filter;
    TeBufferWidth width;
};

// Clip pair of an input: the clip geometry and the mode (0 none, 1 erase
// inside, 2 keep inside).
struct TeClip {
    SpatialObject* clip;
    int32_t mode;
};

// One input item of a run.
struct TePack {
    TeKeys keys;
    TeClip clip;
    int32_t use_input;
    int32_t pack_flag;
    SpatialObject work;
    SpatialObject* input;
    int32_t pack_state;
    nlst* adjust_list;  // TeAdjustPair, ADJUST runs; owned by the caller
};

// A vertex move of an ADJUST run.
struct TeAdjustPair {
    GeoCoord source;
    GeoCoord target;
    double tolerance;
};

// The engine's two standard reports: a missing argument ("UKT1M" with the
// routine's name) and an allocation failure ("UKT1N", nbytes -1); both 0.
int qd_te_missing(const char* function);
int qd_te_no_memory();

// Initialisers: 1, or "UKT1M" and 0 for a null record.
int qd_te_rules_init(TeRules* rules);
int qd_te_work_extent_init(TeRules* rules);
int qd_te_tol_init(TeTolerance* tol);
int qd_te_zcrd_init(TeZcrd* z);
int qd_te_buffer_width_init(TeBufferWidth* w);
int qd_te_buffer_init(TeBuffer* b);
int qd_te_statistics_init(TeStatistics* s);
int qd_te_statistics_counter_init(TeCounters* c);
void qd_te_statistics_counter_sum(TeCounters* a, const TeCounters* b);
int qd_te_filter_geom_init(TeFilter* filter, int32_t value);
int qd_te_callback_init(TeCallback* cb);
int qd_te_keys_init(TeKeys* keys);
int qd_te_clip_init(TeClip* clip);
int qd_te_pack_init(TePack* pack);
int qd_te_pack_free(TePack* pack);
int qd_te_relate_matrix_init(int32_t cells[9]);
SpatialObject* qd_te_so_reset(SpatialObject* object, int32_t csid);

// Verification.
int qd_te_rules_verify(TeRules* rules);
int qd_te_tol_verify(TeTolerance* tol, int32_t no_cluster);
int qd_te_tol_vect_verify(TeTolerance* tol, TeRules* rules, int merge);
int qd_te_extent_verify(TeRules* rules);
int qd_te_buffer_verify(TeBuffer* buffer, double tolerance);
int qd_te_mode_check(int32_t output_dim, int32_t mode, int32_t secondary);

// Keywords: the text is upper-cased in place, then matched exactly.
int qd_te_set_primary_aggregation(char* text, int32_t* code);
int qd_te_set_secondary_aggregation(char* text, int32_t* code);
int qd_te_set_output_dimension(char* text, int32_t* code);
// Reverse tables into a buffer of at least 24 bytes.
int qd_te_primary_name(char* buffer, int32_t code);
int qd_te_secondary_name(char* buffer, int32_t code);
int qd_te_dimension_name(char* buffer, int32_t code);
int qd_te_relate_matrix_parse(const char* text, int32_t cells[9]);
int qd_te_relate_geom_max_dim(const SpatialObject* geometry, int32_t* dim);

// Callback dispatchers.
int32_t qd_te_event_method(int32_t event, TeCallback* callback);
int32_t qd_te_eafs_method(SpatialObject* geometry, TeEafsCallback* callback);

// Primitive filter.
int qd_te_validate_filter(const TeFilter* filter);
int qd_te_filter_primitive(GeometricPrimitive* primitive, const TeFilter* filter, int* keep);
int qd_te_filter_geom(SpatialObject* geometry, const TeFilter* filter);
int qd_te_encode_repair_open_surface(GeoPolygon* polygon, const TeFilter* filter);

// List utilities.
int qd_te_append_item_to_list(nlst** list, const void* item, uint32_t size);
int qd_te_append_list_24(nlst** list, const nlst* other);
int qd_te_append_list_32(nlst** list, const nlst* other);
int qd_te_free_list_of_lists(nlst** list);
void* qd_te_binary_search(const void* key, void* base, uint32_t n, uint32_t size,
                          int (*compare)(const void*, const void*));
int qd_te_int_compare(const void* a, const void* b);
// Exact order of adjust pairs: source x, then y, then z.
int qd_te_adjust_pair_compare(const void* a, const void* b);
// The first pair (in sorted order) whose source lies within the larger of
// the two tolerances of point, searching x from point.x - (t + 1e-10) to
// point.x + (t + 1e-10), t the largest tolerance of the list; null if none.
const TeAdjustPair* qd_te_adjust_pair_find(const nlst* sorted, const GeoCoord* point,
                                           double tolerance);
char* qd_te_upper(char* text);
int qd_te_check_dimension(int32_t wanted, int32_t dim);
int qd_te_add_adjust_pair(const GeoCoord* source, const GeoCoord* target, double tolerance,
                          nlst** list);
int qd_te_assembly_distance(const SpatialObject* geometry, double* distance, int* done);
// Exact total order of two doubles for sort keys: -1, 0 or 1, NaN after
// every number and equal to itself (so a sort stays a strict weak order).
inline int qd_te_key_order(double a, double b) {
    const bool na = a != a, nb = b != b;
    if (na || nb) return na == nb ? 0 : na ? 1 : -1;
    return a < b ? -1 : a > b ? 1 : 0;
}
