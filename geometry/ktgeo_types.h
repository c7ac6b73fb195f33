// Records of the geometry model: coordinates, primitives and the geometry
// object, with the sentinels that mark unset points and missing Z values.
#pragma once

#include <cstdint>

#include "geometry/qd_nlst.h"

// x or y at or below this value: the coordinate is unset.
inline constexpr double KTGEO_UNSET = -1e308;
// z at or below this value: the coordinate has no Z.
inline constexpr double KTGEO_NO_Z = -1e6;

struct GeoCoord {
    double x;
    double y;
    double z;
};

inline constexpr GeoCoord KTGEO_UNSET_COORD = {KTGEO_UNSET, KTGEO_UNSET, KTGEO_NO_Z};

inline bool ktgeo_coord_is_unset(const GeoCoord& c) { return c.x <= KTGEO_UNSET; }
inline bool ktgeo_has_z(const GeoCoord& c) { return c.z > KTGEO_NO_Z; }

// Primitive types.
enum : int32_t { KTGEO_POINT = 1, KTGEO_CURVE = 2, KTGEO_PATH = 3, KTGEO_POLYGON = 4 };
// Curve types.
enum : int32_t {
    KTGEO_POLYLINE = 1,
    KTGEO_CIRCULAR_ARC = 2,
    KTGEO_BEZIER = 3,
    KTGEO_KT_CURVE = 4,
};
// Directions of curves and paths.
enum : int32_t { KTGEO_DIR_REVERSE = 0, KTGEO_DIR_FORWARD = 1, KTGEO_DIR_NONE = 2 };

// Direction record of a "dynamic" point: two words carried by the blob
// formats, then the point that gives the direction.
struct GeoPointDirection {
    int32_t word1;
    int32_t word2;
    GeoCoord toward;
};

struct GeoPoint {
    GeoCoord coord;
    GeoPointDirection* direction;  // from qd_alloc, owned by the point, or null
};

// Tangent record of a KT_Curve as the spline stroker reads it.
struct GeoTangents {
    int32_t tangent_mode;  // 0 none, 1 start, 2 end, 3 both
    GeoCoord start_tangent;
    GeoCoord end_tangent;
};

struct GeoCurve {
    GeoCoord ref;
    int32_t closed;
    int32_t invalid;
    int32_t direction;
    int32_t curve_type;
    nlst* coords;  // GeoCoord
    int32_t tangent_mode;
    GeoCoord start_tangent;
    GeoCoord end_tangent;
    nlst* stroked;  // GeoCoord
};

struct GeoPath {
    GeoCoord ref;
    int32_t closed;
    int32_t connected;
    int32_t direction;
    nlst* curves;    // GeoCurve
    nlst* expanded;  // GeoCoord
};

struct GeoPolygon {
    GeoCoord label;
    int32_t valid;
    GeoPath exterior;
    nlst* interiors;  // GeoPath
};

struct GeometricPrimitive {
    int32_t type;
    union {
        GeoPoint point;
        GeoCurve curve;
        GeoPath path;
        GeoPolygon polygon;
    } geom;
    GeoCoord env_min;
    GeoCoord env_max;
};

struct SpatialObject {
    nlst* primitives;  // GeometricPrimitive
    GeoCoord centroid;
    GeoCoord second_point;
    GeoCoord env_min;
    GeoCoord env_max;
    int32_t flag;
    int32_t csid;
    int32_t ogc_state;
};

// An empty object: no primitives, unset points, flag, id and state 0.
inline void ktgeo_so_init_empty(SpatialObject* so) {
    so->primitives = nullptr;
    so->centroid = KTGEO_UNSET_COORD;
    so->second_point = KTGEO_UNSET_COORD;
    so->env_min = KTGEO_UNSET_COORD;
    so->env_max = KTGEO_UNSET_COORD;
    so->flag = 0;
    so->csid = 0;
    so->ogc_state = 0;
}
