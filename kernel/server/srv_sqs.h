// The SQS spatial server, reached as a SQL Server data source (spatial kind
// 7): detection and version, spatial tables, the update pair of its fixed
// geometry column, and window predicates with rectangles and polygons in
// decimal degrees, latitude first.
#pragma once

#include <cstdint>
#include <string>

#include "kernel/server/srv_query.h"

struct MapSection;
struct IntPoint;

constexpr const char* kSqsServerType = "Autometric SQS Server";
constexpr int32_t kSqsMaxPolygonPoints = 650;

// On a "SQL Server" connection: 1 when the probe of kernel string 6959 runs
// (the server type becomes "Autometric SQS Server"; version 3 and later,
// the number after '/', set the update flag). "set coordinate format ddeg"
// is sent in every case; the error stack is cleared.
int16_t sqs_detect(SrvConnection* conn);
int16_t sqs_is_spatial_table(SrvConnection* conn, const char* name);
int16_t sqs_name_is_spatial(const SrvConnection* conn, SrvQuery* query, const char* item);
// "QQD_GEOMETRYQ=?" or "=NULL" (a new kernel block); a refused object
// answers 0 with error 1575.
int16_t sqs_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text);

// The polygon text being written section by section.
struct SqsPolygonState {
  const CoordXform* xform = nullptr;
  std::string text;
  int32_t room = 0;  // bytes the finished text may take, its terminator included
  int16_t ok = 1;
};
// Section callback (mapobj_for_each_section): the section's points but the
// closing one as "(lat, lon)" joined by ",", then ")". More than 650 points,
// or a text beyond the room, clears ok and answers 0.
int16_t sqs_polygon_points(const MapSection* section, const IntPoint* nodes, void* state);
// Appends "rectangle(...)" for a rectangle object, else "polygon(...)": 1
// when appended; 0 (nothing appended) when it fails or does not fit room.
int16_t sqs_window_shape(MapObject* object, char* text, int32_t room, const CoordXform* xform);
// Appends the window predicate: 0 when appended, else the room it needs.
// A one-ring window region is written as a polygon when it can be, else
// the window's rectangle.
int32_t sqs_window_clause(const SpatialColumnDesc* desc, const char* alias, MapObject* window, const char* x_min,
                          const char* y_min, const char* x_max, const char* y_max, char* text, int32_t room,
                          int16_t parameterised);
