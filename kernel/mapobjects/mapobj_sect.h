// Sections and nodes: the layout of a polyline's or region's node buffer (a
// table of 28-byte section headers, then every section's nodes) and of a
// multipoint's node array, and every operation that adds, inserts, replaces,
// reads or deletes sections and nodes together with the parallel Z and M
// arrays.
//
// Invariants: a section's node offset counts from the buffer start, which is
// also the first header; node runs of sections do not overlap and an empty
// section never lies inside another's run; a region ring is stored closed
// (its last node, Z and M equal its first); the node-data size is
// 28 x sections + 8 x nodes; Z and M hold one value per node in buffer order.
// Every size is worked out in 64 bits and checked before anything moves, so a
// refused or failed operation leaves the object as it was.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"

struct MapSection {
  int32_t node_count;  // a region ring counts its closing node
  int32_t holes;       // rings following a polygon's first ring that are its holes
  IntRect mbr;
  int32_t node_offset;  // bytes from the buffer start to the first node
};
static_assert(sizeof(MapSection) == 28, "section headers are 28 bytes");
static_assert(sizeof(IntPoint) == 8, "nodes are 8 bytes");

constexpr int32_t kMapMaxSections = 24403223;
constexpr int32_t kMapMaxNodesAdded = 0x7fffffc;
constexpr int64_t kMapNodeBufferLimit = 0x40000000;

using MapNodeFn = int16_t (*)(const IntPoint* point, void* user);
using MapSegmentFn = int16_t (*)(const IntPoint* a, const IntPoint* b, void* user);

// ---- locking ---------------------------------------------------------------
// The headers of a polyline or region (null for other types or without a node
// buffer). With pointers, a view of every section's first-node address is
// kept until the unlock (mapobj_section_pointer); one such lock at a time.
MapSection* mapobj_lock_sections(MapObject* obj, int16_t with_pointers);
void mapobj_unlock_sections(MapObject* obj, MapSection* headers, int16_t with_pointers);
// The first node of a section of locked headers.
IntPoint* mapobj_section_nodes(const MapSection* headers, int32_t index);
// The address the open lock with pointers keeps for a section (null when none).
IntPoint* mapobj_section_pointer(int32_t index);
int32_t mapobj_section_node_count(const MapObject* obj, int32_t index);
// Address of one node, locking with pointers on first use (*lock_state 0 ->
// 1; the caller unlocks when *lock_state is 1).
IntPoint* mapobj_section_node_ptr(MapObject* obj, MapSection** headers, int16_t* lock_state, int32_t section,
                                  int32_t index);
int16_t mapobj_section_for_each_node(const MapSection* headers, int32_t section, MapNodeFn fn, void* user);
int16_t mapobj_section_for_each_segment(const MapSection* headers, int32_t section, MapSegmentFn fn, void* user);
// Index of the section whose node run is the n-th in the buffer (1-based),
// -1 when n is not 1..S.
int32_t mapobj_section_by_storage_order(int32_t n, const MapObject* obj);

// ---- sections --------------------------------------------------------------
int16_t mapobjx_add_section(MapObject* obj, int32_t reserve_nodes, int32_t* first_out);
int16_t mapobjx_add_sections(MapObject* obj, int32_t count, int32_t reserve_nodes, int32_t* first_out);
MapSection* mapobjx_add_section_locked(MapObject* obj, int32_t reserve_nodes);
int16_t mapobjx_append_sections(MapObject* obj, int64_t count, int32_t reserve_nodes, int16_t group,
                                int32_t* first_out);
int16_t mapobjx_delete_section(MapObject* obj, int32_t index);

// ---- nodes of polylines and regions ---------------------------------------
int16_t mapobjx_insert_nodes(MapObject* obj, int32_t section, int32_t index, const IntPoint* points, int32_t count,
                             const double* z, const double* m);
int16_t mapobjx_insert_nodes_at(MapObject* obj, MapSection** headers_ref, int32_t section, int32_t index,
                                const IntPoint* points, int32_t count, const double* z, const double* m);
int16_t mapobjx_delete_nodes(MapObject* obj, MapSection** headers_ref, int32_t section, int32_t index,
                             int32_t count, int16_t drop_small);
int16_t mapobjx_delete_nodes_any(MapObject* obj, int32_t section, int32_t index, int32_t count,
                                 int16_t drop_small);
int16_t mapobjx_replace_nodes(MapObject* obj, MapSection** headers_ref, int32_t section, int32_t index,
                              const IntPoint* points, int32_t count);
int16_t mapobjx_replace_nodes_any(MapObject* obj, int32_t section, int32_t index, const IntPoint* points,
                                  int32_t count);
int16_t mapobjx_get_nodes(const MapObject* obj, const MapSection* headers, int32_t section, int32_t index,
                          IntPoint* out, int32_t count, double* z_out, double* m_out);
int16_t mapobjx_get_nodes_any(MapObject* obj, int32_t section, int32_t index, IntPoint* out, int32_t count,
                              double* z_out, double* m_out);

// ---- multipoints -----------------------------------------------------------
int16_t mapobjx_multipoint_add_nodes(MapObject* obj, int32_t count, const IntPoint* points, const double* z,
                                     const double* m);
int16_t mapobjx_multipoint_get_nodes(const MapObject* obj, int32_t index, IntPoint* out, int32_t count,
                                     double* z_out, double* m_out);
int16_t mapobjx_multipoint_replace_nodes(MapObject* obj, int32_t index, const IntPoint* points, int32_t count);
int16_t mapobjx_multipoint_delete_nodes(MapObject* obj, int32_t index, int32_t count);

// ---- Z and M ---------------------------------------------------------------
// Gives a polyline, region or multipoint Z and/or M arrays (existing nodes
// get the null value) or drops them.
int16_t mapobjx_set_zm(MapObject* obj, int16_t has_z, int16_t has_m);

// ---- tests and reordering --------------------------------------------------
int16_t mapobjx_can_grow(const MapObject* obj, int64_t nodes, int64_t sections);
int16_t mapobjx_sections_contiguous(const MapSection* headers, int32_t count);
int16_t mapobjx_sections_in_order(MapObject* obj);
// Rewrites the node area (and the Z and M values with it) so that node runs
// follow section order. Without room for its copy it fails and changes
// nothing.
int16_t mapobjx_reorder_section_nodes(MapObject* obj, MapSection* headers);
// A start inside 0..count-1 whose end (start + length, or length itself when
// absolute) stays within 0..count.
int16_t mapobjx_range_valid(int32_t start, int32_t length, int32_t count, int16_t absolute);

// Releases the lock view (tests).
void mapobj_sections_state_reset();
