// Geometry blobs: the writer and reader entries, the version-02 pieces, the
// compact forms and the older versions read, and the release functions
// that free what readers and builders attach to a SpatialObject. The
// release functions return 1; the ignored second argument lets them serve
// as nlst_exec callbacks.
//
// A blob is the u32 total length, a four-letter tag and the tag's body.
// Written: "KT02", the compact forms, "CV00"/"CV01" (wrapped object
// records) and, through the OGC module, "OGC0"/"OGC1". Read: every tag of
// the format, "KT01" and "KT00" included.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_blob.h"
#include "geometry/ktgeo_types.h"

int ktgeo_so_release(SpatialObject* object);
int ktgeo_primitive_release(void* primitive, void* ignored);
int ktgeo_curve_release(void* curve, void* ignored);
int ktgeo_path_release(void* path, void* ignored);
int ktgeo_polygon_release(GeoPolygon* polygon);
int ktgeo_point_release(GeoPoint* point);

// Writers: a new blob (release with qd_free) or null.
uint8_t* ktgeo_pack_geometry(SpatialObject* object);
uint8_t* ktgeo_pack_geometry_completed(SpatialObject* object);
// The blob of an object whose coordinates the caller built without Z (the
// same bytes as ktgeo_pack_geometry; the compact check looks for no Z).
uint8_t* ktgeo_pack_geometry_flat(SpatialObject* object);
int ktgeo_pack_tagged(SpatialObject* object, BlobBuffer* writer);
uint8_t* ktgeo_pack_cv(const uint8_t* record, uint32_t length, uint32_t csid);
// A wrapped form: length, the three letters of `tag` and "1" with the csid
// after it when csid is not 0, else "0", then the body.
uint8_t* ktgeo_pack_wrapped(const char* tag, const uint8_t* body, uint32_t length,
                           uint32_t csid, const char* function);

// Readers: fill a caller-owned object (release its contents with
// ktgeo_so_release, also after a failure); 1 or 0.
int ktgeo_unpack_geometry(const uint8_t* blob, SpatialObject* object);
int ktgeo_unpack_tagged(const uint8_t* blob, SpatialObject* object, int probe, int selector);
// The entry for bytes from outside: refuses, silently and touching nothing,
// fewer than 8 bytes or a length word beyond `size`.
int ktgeo_unpack_geometry_sized(const uint8_t* blob, uint32_t size, SpatialObject* object);
uint32_t ktgeo_unpack_csid(const uint8_t* blob);

// Version-02 pieces.
int pack02_spatialobject(SpatialObject* object, BlobBuffer* writer);
int pack02_goemetry(GeometricPrimitive* primitive, BlobBuffer* writer);
int pack02_point(const GeoPoint* point, BlobBuffer* writer);
int pack02_curve(const GeoCurve* curve, BlobBuffer* writer);
int pack02_path(const GeoPath* path, BlobBuffer* writer);
int pack02_polygon(const GeoPolygon* polygon, BlobBuffer* writer);
int pack02_envelope(const GeoCoord* min, const GeoCoord* max, BlobBuffer* writer);
int pack02_centroid(const GeoCoord* position, BlobBuffer* writer);
int pack02_coord(const GeoCoord* coord, BlobBuffer* writer);
int pack02_coord_list(const nlst* list, BlobBuffer* writer);
int unpack02_spatialobject(BlobBuffer* reader, SpatialObject* object);
int unpack02_geometry(BlobBuffer* reader, SpatialObject* object);
int unpack02_point(BlobBuffer* reader, GeoPoint* point);
int unpack02_curve(BlobBuffer* reader, GeoCurve* curve);
int unpack02_path(BlobBuffer* reader, GeoPath* path);
int unpack02_polygon(BlobBuffer* reader, GeoPolygon* polygon);
int unpack02_envelope(BlobBuffer* reader, GeoCoord* min, GeoCoord* max);
int unpack02_centroid(BlobBuffer* reader, GeoCoord* position);
int unpack02_coord(BlobBuffer* reader, GeoCoord* coord);
int unpack02_coord_list(BlobBuffer* reader, nlst** list);
int unpack02_envelope_only(BlobBuffer* reader, GeoCoord* min, GeoCoord* max);

// Compact forms: writers (tag, id when not 0, body) and readers (after the
// tag; `has_id` when the third letter is "d"; `direction` from the first
// letter of a line form).
int pack_compact_point2d(const SpatialObject* object, BlobBuffer* writer);
int pack_compact_point3d(const SpatialObject* object, BlobBuffer* writer);
int pack_compact_list2d(const SpatialObject* object, BlobBuffer* writer);
int pack_compact_list3d(const SpatialObject* object, BlobBuffer* writer);
int pack_compact_circle(const SpatialObject* object, BlobBuffer* writer);
// Writes the compact form of an object that qualifies for one: 1 written,
// 0 the writer failed, -1 the object does not qualify (nothing written).
int pack_compact(SpatialObject* object, BlobBuffer* writer);
// The same; `flat` when the caller knows no coordinate has Z (the check for
// one is left out).
int pack_compact_known(SpatialObject* object, BlobBuffer* writer, int flat);
int unpack_p2dp(BlobBuffer* reader, SpatialObject* object, int has_id);
int unpack_p3dp(BlobBuffer* reader, SpatialObject* object, int has_id);
int unpack_l2dl(BlobBuffer* reader, SpatialObject* object, int has_id, int32_t direction);
int unpack_l3dl(BlobBuffer* reader, SpatialObject* object, int has_id, int32_t direction);
int unpack_l2dp(BlobBuffer* reader, SpatialObject* object, int has_id, int32_t direction);
int unpack_l3dp(BlobBuffer* reader, SpatialObject* object, int has_id, int32_t direction);
int unpack_a2da(BlobBuffer* reader, SpatialObject* object, int has_id);
int unpack_a3da(BlobBuffer* reader, SpatialObject* object, int has_id);
int unpack_c2da(BlobBuffer* reader, SpatialObject* object, int has_id);

// Older versions, read only. Version 01 differs from 02 in its object
// header and in KT_Curve tangents (stored as angles); version 00 has no ids,
// envelopes, reference points or path primitives, and its polygons' holes
// are "r" records.
int unpack01_spatialobject(BlobBuffer* reader, SpatialObject* object);
int unpack01_geometry(BlobBuffer* reader, SpatialObject* object);
int unpack01_point(BlobBuffer* reader, GeoPoint* point);
int unpack01_curve(BlobBuffer* reader, GeoCurve* curve);
int unpack01_path(BlobBuffer* reader, GeoPath* path);
int unpack01_polygon(BlobBuffer* reader, GeoPolygon* polygon);
int unpack01_envelope(BlobBuffer* reader, GeoCoord* min, GeoCoord* max);
int unpack01_centroid(BlobBuffer* reader, GeoCoord* position);
int unpack01_coord(BlobBuffer* reader, GeoCoord* coord);
int unpack01_coord_list(BlobBuffer* reader, nlst** list);
int unpack01_envelope_only(BlobBuffer* reader, GeoCoord* min, GeoCoord* max);
int unpack00_spatailobject(BlobBuffer* reader, SpatialObject* object);
int unpack00_geometry(BlobBuffer* reader, SpatialObject* object);
int unpack00_point(BlobBuffer* reader, GeoPoint* point);
int unpack00_curve(BlobBuffer* reader, GeoCurve* curve);
int unpack00_path(BlobBuffer* reader, GeoPath* path);
int unpack00_polygon(BlobBuffer* reader, GeoPolygon* polygon);
int unpack00_coord(BlobBuffer* reader, GeoCoord* coord);
int unpack00_coord_list(BlobBuffer* reader, nlst** list);
