// The engine's version stamp, its debug listings on the standard output
// and its dump files (".sdas" text, appended) for looking at a run from
// outside. Dump files go to $QD_TE_DUMP_DIR, else $TMPDIR, else /tmp.
#pragma once

#include <cstdint>
#include <string>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"

struct TeChain;
struct TePolygon;

const char* qd_te_version();
// 1 for the same major part and a minor part not greater, -1 otherwise.
int qd_te_version_check(const char* text);

int32_t qd_te_dump_next_number();
// The file a dump with this label and number goes to (number 0: none,
// -1: the next of the engine's counter).
std::string qd_te_dump_path(const char* label, int32_t number, const char* suffix);
int qd_te_dump_point(const GeoCoord* point, const char* label, const char* value);
int qd_te_dump_chain(const TeChain* chain, const char* label);
int qd_te_dump_chain_list(const nlst* chains, const char* label, int32_t number);
int qd_te_dump_poly(const nlst* points, const char* label, int32_t kind, int32_t number);
// A polygon's boundary walk, its fields and (label + "par.sdas") the
// parents of its walked sides; the list dumps every polygon into one file.
// step above 1 thins each chain's vertices.
int qd_te_dump_polygon(const TePolygon* polygon, const nlst* chains, const char* label, int32_t number,
                       int32_t step);
int qd_te_dump_poly_list(const nlst* polygons, const nlst* chains, const char* label, int32_t number,
                         int32_t step);

int qd_te_debug_list_chain(const TeChain* chain, int32_t full);
int qd_te_debug_list_poly(const TePolygon* polygon);
// The polygon's listing and a short listing of each chain of its boundary
// walk (a discarded polygon alone); 0 when the polygon is neither side of
// its start chain.
int qd_te_debug_list_poly_chain(const TePolygon* polygon, const nlst* chains);
int qd_te_debug_list_chain_order(const nlst* chains, int32_t full);
int qd_te_debug_list_chain_list(const nlst* chains, int32_t full);
