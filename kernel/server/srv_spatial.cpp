// Spatial SQL per kind: INSERT and UPDATE texts, the acceptance rules of
// the spatial servers with their in-place conversions, and the X/Y and
// quad-key code columns of point tables.
#include "kernel/server/srv_spatial.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "geometry/encode/cvrecord.h"
#include "geometry/encode/sdo.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/quadkey.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/list.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"

namespace {

// Both texts as kernel blocks, or neither.
int16_t give(const std::string& a, char** out_a, const std::string* b, char** out_b) {
  *out_a = srv_text_block(a);
  if (*out_a == nullptr) return 0;
  if (b != nullptr) {
    *out_b = srv_text_block(*b);
    if (*out_b == nullptr) {
      mem_free(out_a);
      return 0;
    }
  }
  return 1;
}

int type_of(const MapObject* object) { return object != nullptr ? static_cast<int>(object->type) : 0; }

std::string quoted(const char* quote, const char* name) {
  std::string text = quote != nullptr ? quote : "";
  const size_t q = text.size();
  text.append(name);
  text.append(text, 0, q);
  return text;
}

// "Q name Q=value", joined with ", " to what is there.
void add_pair(std::string& text, const char* quote, const char* name, const std::string& value) {
  if (!text.empty()) text.append(", ");
  text.append(quoted(quote, name));
  text.push_back('=');
  text.append(value);
}

std::string number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.8f", v);
  return text;
}

// Handlers of the insert and update dispatch, by kind minus 1.
constexpr uint8_t kHandler[14] = {0, 1, 5, 2, 3, 5, 3, 4, 2, 2, 3, 3, 3, 3};

int16_t accepts(SpatialColumnDesc* desc, MapObject* object) {
  switch (desc->kind) {
    case 7: return sqs_column_accepts_object(desc, object);
    case 5:
    case 11:
    case 12:
    case 14: return spx_column_accepts_object(desc, object);
    case 13: return ora_column_accepts_object(desc, object);
    default: return 0;
  }
}

const char* param_marker(const SpatialColumnDesc* desc) {
  return desc->kind == 12 ? "qd2_morph_in(CAST(? AS ST_SPATIAL_TYPE))" : "?";
}

uint8_t* state_byte(SpatialColumnDesc* desc) {
  switch (desc->geometry_class) {
    case 3: return &desc->conversion_state[0];
    case 2: return &desc->conversion_state[1];
    case 1: return &desc->conversion_state[2];
    default: return nullptr;
  }
}

bool in(int type, std::initializer_list<int> set) {
  for (int t : set) {
    if (t == type) return true;
  }
  return false;
}

// The point's coordinates in the column's system.
DPoint point_xy(const SpatialColumnDesc* desc, const MapObject* object) {
  DPoint p{};
  xform_int_to_xy(&object->u.point.location, &p, desc->coordsys, 1);
  return p;
}

}  // namespace

int16_t spatial_refuse_object(const MapObject* object) {
  char name[51] = "";
  if (object != nullptr) value_object_type_name(object, name, sizeof name);
  err_push(4, kErrSrvObjectRefused, name, nullptr);
  return 0;
}

int16_t srv_count_char(const char* text, char character) {
  int16_t n = 0;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) n = static_cast<int16_t>(n + (*p == character));
  return n;
}

// ---- acceptance -------------------------------------------------------------------------

int16_t ora_fit_object_to_column(MapObject* object, SpatialColumnDesc* desc, uint8_t* state) {
  if (object == nullptr || desc == nullptr || desc->conversion_mode > 2 || state == nullptr || *state > 2 ||
      desc->geometry_class == 0) {
    return 0;
  }
  const int type = object->type;
  int target = 0;  // 4 polyline, 5 region, 0 refused
  if (desc->geometry_class == 1) {
    target = type == MAPOBJ_ARC ? MAPOBJ_POLYLINE : 0;
  } else {
    if (type == MAPOBJ_ROUNDRECT || type == MAPOBJ_ELLIPSE) target = MAPOBJ_REGION;
    if (type == MAPOBJ_RECT && desc->kind == 13) target = MAPOBJ_REGION;
    if (desc->geometry_class == 3 && type == MAPOBJ_ARC) target = MAPOBJ_POLYLINE;
  }
  if (target == 0) return 0;
  *state = 2;
  if (desc->conversion_mode != 1) return 0;
  MapObject* made = mapobj_to_polyline_or_region(object, target == MAPOBJ_REGION ? 1 : 0);
  if (made == nullptr) return 0;
  const uint32_t borrowed = object->flags & MAPOBJ_BORROWED;
  const int16_t copied = mapobj_copy(made, object);
  object->flags = (object->flags & ~MAPOBJ_BORROWED) | borrowed;
  mapobj_destroy(&made);
  return copied;
}

int16_t ora_column_accepts_object(SpatialColumnDesc* desc, MapObject* object) {
  const int t = type_of(object);
  switch (desc->geometry_class) {
    case 0: return in(t, {0, 1, 6, 13});
    case 1:
      if (in(t, {0, 2, 4, 6})) return 1;
      return t == 3 ? ora_fit_object_to_column(object, desc, state_byte(desc)) : 0;
    case 2:
      if (in(t, {0, 5, 6})) return 1;
      return in(t, {7, 8, 9}) ? ora_fit_object_to_column(object, desc, state_byte(desc)) : 0;
    case 3:
      if (in(t, {0, 1, 2, 4, 5, 6, 13, 14})) return 1;
      return in(t, {3, 7, 8, 9}) ? ora_fit_object_to_column(object, desc, state_byte(desc)) : 0;
    default: return 0;
  }
}

int16_t spx_column_accepts_object(SpatialColumnDesc* desc, MapObject* object) {
  const int t = type_of(object);
  const bool text_rule = desc->kind == 11 || (desc->kind == 14 && desc->server_version >= 455);
  const bool multi_rule = desc->server_version >= 451;
  if (t == MAPOBJ_TEXT && desc->geometry_class >= 0 && desc->geometry_class <= 3) return text_rule;
  switch (desc->geometry_class) {
    case 0: return in(t, {0, 1}) || (t == 13 && multi_rule);
    case 1:
      if (in(t, {0, 2, 4})) return 1;
      return t == 3 ? ora_fit_object_to_column(object, desc, state_byte(desc)) : 0;
    case 2:
      if (in(t, {0, 5, 7})) return 1;
      return in(t, {8, 9}) ? ora_fit_object_to_column(object, desc, state_byte(desc)) : 0;
    case 3:
      if (in(t, {0, 1, 2, 4, 5, 7})) return 1;
      if (in(t, {13, 14})) return multi_rule;
      return in(t, {3, 8, 9}) ? ora_fit_object_to_column(object, desc, state_byte(desc)) : 0;
    default: return 0;
  }
}

int16_t sqs_column_accepts_object(SpatialColumnDesc* desc, MapObject* object) {
  const int t = type_of(object);
  switch (desc->geometry_class) {
    case 0: return in(t, {0, 1});
    case 1: return in(t, {0, 2, 4});
    case 2: return in(t, {0, 5, 9});
    case 3: return in(t, {0, 1, 2, 4, 5, 9});
    default: return 0;
  }
}

// ---- insert and update texts -----------------------------------------------------------------

int16_t spatial_param_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object,
                                   char** column_text, char** value_text) {
  if (!accepts(desc, object)) return spatial_refuse_object(object);
  const std::string value = type_of(object) == MAPOBJ_NONE ? "NULL" : param_marker(desc);
  return give(quoted(quote, desc->column), column_text, &value, value_text);
}

int16_t spatial_param_update_pair(SpatialColumnDesc* desc, MapObject* object, const char* quote, char** pair_text) {
  if (!accepts(desc, object)) return spatial_refuse_object(object);
  const std::string value = type_of(object) == MAPOBJ_NONE ? "NULL" : param_marker(desc);
  std::string pair;
  add_pair(pair, quote, desc->column, value);
  return give(pair, pair_text, nullptr, nullptr);
}

int16_t srv_spatial_insert_parts(SrvConnection* conn, SrvQuery* query, MapObject* object, char** column_text,
                                 char** value_text) {
  *column_text = *value_text = nullptr;
  SpatialColumnDesc* desc = query != nullptr ? query->desc : nullptr;
  if (desc == nullptr || desc->kind < 1 || desc->kind > 14) return 0;
  if (conn != nullptr) desc->server_version = conn->version_number;
  const char* quote = conn != nullptr ? conn->quote : "";
  switch (kHandler[desc->kind - 1]) {
    case 0: return xy_code_insert_parts(desc, quote, object, column_text, value_text);
    case 1: return sdorel_point_insert_parts(desc, quote, object, column_text, value_text);
    case 2: return xy_insert_parts(desc, quote, object, column_text, value_text);
    case 3: return spatial_param_insert_parts(desc, quote, object, column_text, value_text);
    case 4: return 1;
    default: return 0;
  }
}

int16_t srv_spatial_update_pair(SrvConnection* conn, SrvQuery* query, MapObject* object, char** pair_text) {
  *pair_text = nullptr;
  SpatialColumnDesc* desc = query != nullptr ? query->desc : nullptr;
  if (desc == nullptr || desc->kind < 1 || desc->kind > 14) return 0;
  if (conn != nullptr) desc->server_version = conn->version_number;
  const char* quote = conn != nullptr ? conn->quote : "";
  switch (kHandler[desc->kind - 1]) {
    case 0: return xy_code_update_pair(desc, quote, object, pair_text);
    case 1: return sdorel_point_update_pair(desc, quote, object, pair_text);
    case 2: return xy_update_pair(desc, quote, object, pair_text);
    case 3: return spatial_param_update_pair(desc, object, quote, pair_text);
    case 4: return 1;
    default: return 0;
  }
}

namespace {

int64_t g_blob_allocations = 0;

SrvColumn* param_descriptor(SrvColumn** param) {
  if (*param == nullptr) mem_alloc_zeroed(static_cast<int64_t>(sizeof(SrvColumn)), param);
  return *param;
}

int16_t bind_all(SrvConnection* conn, SrvStatement* stmt, SrvColumn* descriptor) {
  for (int16_t n = 1; n <= stmt->param_count; ++n) {
    if (!srv_bind_parm(conn, stmt, descriptor, n)) return 0;
  }
  return 1;
}

int16_t spatial_bind_blob(SrvQuery* query, SrvConnection* conn, SrvStatement* stmt, MapObject* object, void** blob,
                          SrvColumn** param, int16_t reuse) {
  SpatialColumnDesc* desc = query->desc;
  if (query->bound_values == nullptr && type_of(object) == MAPOBJ_NONE) return 0;
  SrvColumn* descriptor = param_descriptor(param);
  if (descriptor == nullptr) return 0;
  void* data = nullptr;
  int32_t length = 0;
  if (query->bound_values != nullptr && reuse) {
    data = query->bound_values;
    length = query->bound_length;
  } else if (desc->kind == 14) {
    uint8_t* encoded = nullptr;
    if (!blob_ext_encode(object, desc->coordsys, &encoded, &length) || encoded == nullptr) return 0;
    data = encoded;
  } else {
    int32_t size = 0;
    if (!blob_object_size(object, &size) || size <= 0) return 0;
    // The held buffer serves every row; it grows only for a larger object.
    if (*blob == nullptr || mem_size(*blob) < static_cast<size_t>(size)) {
      mem_free(blob);
      if (!mem_alloc(size, reinterpret_cast<uint8_t**>(blob), static_cast<uint8_t**>(nullptr))) return 0;
      ++g_blob_allocations;
    }
    if (!object_to_blob(object, desc->coordsys, static_cast<uint8_t*>(*blob), &length, desc)) return 0;
    data = *blob;
  }
  descriptor->type = 17;
  descriptor->buffer = data;
  descriptor->buffer_length = length;
  return bind_all(conn, stmt, descriptor);
}

int16_t spatial_bind_sdo(SrvQuery* query, SrvConnection* conn, SrvStatement* stmt, MapObject* object,
                         void** sdo_holder, SrvColumn** param, int16_t reuse) {
  SpatialColumnDesc* desc = query->desc;
  if (type_of(object) == MAPOBJ_NONE) return 0;
  SrvColumn* descriptor = param_descriptor(param);
  if (descriptor == nullptr) return 0;
  SdoArrays* holder = reuse && query->sdo_arrays != nullptr ? static_cast<SdoArrays*>(query->sdo_arrays)
                                                            : static_cast<SdoArrays*>(*sdo_holder);
  if (holder == nullptr) {
    if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(SdoArrays)), reinterpret_cast<SdoArrays**>(sdo_holder))) {
      return 0;
    }
    holder = static_cast<SdoArrays*>(*sdo_holder);
  }
  const bool complete = reuse && holder == query->sdo_arrays && holder->geometry != nullptr &&
                        holder->geometry->ord_count > 0;
  if (!complete) {
    if (holder->geometry == nullptr) {
      if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(SdoGeometry)), &holder->geometry_block)) return 0;
      holder->geometry = static_cast<SdoGeometry*>(holder->geometry_block);
    }
    // The arrays of the previous row go before the holder is filled again.
    sdo_free_arrays(holder);
    holder->geometry->dimensions = desc->dimensions > 0 ? desc->dimensions : 2;
    if (!object_to_sdo(object, desc->coordsys, holder, desc->sdo_option, desc->srid_is_null, desc->srid)) return 0;
  }
  SdoGeometry* g = holder->geometry;
  descriptor->type = 90;
  descriptor->buffer = g;
  descriptor->buffer_length = static_cast<int32_t>(sizeof(SdoGeometry));
  const int32_t dims = g->dimensions > 0 ? g->dimensions : 2;
  const int32_t points = g->ord_count / dims;
  if (conn->geometry_limit > 0 && points > conn->geometry_limit / dims) {
    err_push(4, kErrSrvGeometryTooLarge, std::to_string(points).c_str(),
             std::to_string(conn->geometry_limit / dims).c_str());
    return 0;
  }
  return srv_bind_parm(conn, stmt, descriptor, 1);
}

}  // namespace

int16_t srv_spatial_bind_value(SrvQuery* query, SrvConnection* conn, SrvStatement* stmt, MapObject* object,
                               void** blob, void** sdo_holder, SrvColumn** param, int16_t reuse) {
  if (query == nullptr || query->desc == nullptr || conn == nullptr || stmt == nullptr) return 0;
  switch (query->desc->kind) {
    case 5:
    case 7:
    case 11:
    case 12:
    case 14: return spatial_bind_blob(query, conn, stmt, object, blob, param, reuse);
    case 13: return spatial_bind_sdo(query, conn, stmt, object, sdo_holder, param, reuse);
    default: return 1;
  }
}

void srv_spatial_bind_release(void** blob, void** sdo_holder, SrvColumn** param) {
  if (blob != nullptr) mem_free(blob);
  if (sdo_holder != nullptr && *sdo_holder != nullptr) {
    auto* holder = static_cast<SdoArrays*>(*sdo_holder);
    sdo_free_arrays(holder);
    if (holder->geometry_block != nullptr) mem_free(&holder->geometry_block);
    mem_free(sdo_holder);
  }
  if (param != nullptr) mem_free(param);
}

int64_t srv_spatial_blob_allocations() { return g_blob_allocations; }


// ---- X/Y and code columns -------------------------------------------------------------------

int16_t xy_is_access(const SrvConnection* conn) { return srv_is_kind(conn, SRV_KIND_ACCESS); }

int16_t xy_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** column_text,
                        char** value_text) {
  const int t = type_of(object);
  if (t != MAPOBJ_NONE && t != MAPOBJ_POINT) return spatial_refuse_object(object);
  std::string value = "NULL, NULL";
  if (t == MAPOBJ_POINT) {
    const DPoint p = point_xy(desc, object);
    value = number(p.x) + ", " + number(p.y);
  }
  return give(quoted(quote, desc->x_column) + ", " + quoted(quote, desc->y_column), column_text, &value, value_text);
}

int16_t xy_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text) {
  const int t = type_of(object);
  if (t != MAPOBJ_NONE && t != MAPOBJ_POINT) return spatial_refuse_object(object);
  std::string x = "NULL", y = "NULL";
  if (t == MAPOBJ_POINT) {
    const DPoint p = point_xy(desc, object);
    x = number(p.x);
    y = number(p.y);
  }
  std::string pair;
  add_pair(pair, quote, desc->x_column, x);
  add_pair(pair, quote, desc->y_column, y);
  return give(pair, pair_text, nullptr, nullptr);
}

namespace {

// The quad key, quoted, of the point within the system's whole extent.
std::string point_key(const SpatialColumnDesc* desc, const DPoint& p) {
  DRect extent{};
  xform_bounds_in_units(desc->coordsys, &extent, xform_coord_units(desc->coordsys));
  const DRect at{p.x, p.y, p.x, p.y};
  char key[kQuadKeyTextSize] = "";
  quadkey_of_rect(&extent, &at, key);
  std::string text(1, '\'');
  text.append(key);
  text.push_back('\'');
  return text;
}

}  // namespace

int16_t xy_code_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** column_text,
                             char** value_text) {
  const int t = type_of(object);
  if (t != MAPOBJ_NONE && t != MAPOBJ_POINT) return spatial_refuse_object(object);
  std::string value = "NULL, NULL, NULL";
  if (t == MAPOBJ_POINT) {
    const DPoint p = point_xy(desc, object);
    value = number(p.x) + ", " + number(p.y) + ", " + point_key(desc, p);
  }
  return give(quoted(quote, desc->x_column) + ", " + quoted(quote, desc->y_column) + ", " +
                  quoted(quote, desc->column),
              column_text, &value, value_text);
}

int16_t xy_code_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text) {
  const int t = type_of(object);
  if (t != MAPOBJ_NONE && t != MAPOBJ_POINT) return spatial_refuse_object(object);
  std::string x = "NULL", y = "NULL", code = "NULL";
  if (t == MAPOBJ_POINT) {
    const DPoint p = point_xy(desc, object);
    x = number(p.x);
    y = number(p.y);
    code = point_key(desc, p);
  }
  std::string pair;
  add_pair(pair, quote, desc->x_column, x);
  add_pair(pair, quote, desc->y_column, y);
  add_pair(pair, quote, desc->column, code);
  return give(pair, pair_text, nullptr, nullptr);
}

// ---- window conditions ---------------------------------------------------------------------

namespace {

std::string full(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

// Appends piece when the buffer holds it: 0, else the size needed.
int32_t append_fitting(char* text, int32_t room, const std::string& piece) {
  const size_t used = text != nullptr ? strnlen(text, static_cast<size_t>(room > 0 ? room : 0)) : 0;
  const int64_t need = static_cast<int64_t>(used + piece.size() + 1);
  if (text == nullptr || need > room) return static_cast<int32_t>(need);
  std::memcpy(text + used, piece.c_str(), piece.size() + 1);
  return 0;
}

std::string comparisons(const SpatialColumnDesc* desc, double x_min, double y_min, double x_max, double y_max,
                        const char* quote, bool parameterised) {
  std::string t;
  auto add = [&](const char* column, const char* op, double v) {
    if (!t.empty()) t.append(" AND ");
    t.append(quoted(quote, column)).append(op).append(parameterised ? std::string("?") : full(v));
  };
  add(desc->x_column, " > ", x_min);
  add(desc->x_column, " < ", x_max);
  add(desc->y_column, " > ", y_min);
  add(desc->y_column, " < ", y_max);
  return t;
}

std::string ranges_text(const SpatialColumnDesc* desc, const KernelList* ranges, int32_t count, const char* quote) {
  std::string out;
  int32_t n = 0;
  for (auto* r = static_cast<const QuadKeyNode*>(ranges->head); r != nullptr && n < count; r = r->next, ++n) {
    std::string low = r->key;
    std::string high = low;
    if ((r->level & 1) && !high.empty()) {
      char& last = high.back();
      if (last == 'A' || last == 'E' || last == 'I' || last == 'M') last = static_cast<char>(last + 3);
    }
    while (high.size() < kQuadKeyTextSize - 1) high.push_back('P');
    if (!out.empty()) out.append(" OR ");
    out.append("(").append(quoted(quote, desc->column)).append(" between '").append(low);
    out.append("' and '").append(high).append("')");
  }
  return out;
}

DRect extent_of(const SpatialColumnDesc* desc) {
  DRect extent{};
  xform_bounds_in_units(desc->coordsys, &extent, xform_coord_units(desc->coordsys));
  return extent;
}

// The ranges of a rectangle within the system's extent, as text.
int16_t window_ranges(const SpatialColumnDesc* desc, const DRect& window, const char* quote, std::string* out) {
  KernelList list{};
  list_init(&list);
  int32_t count = 0;
  const DRect extent = extent_of(desc);
  const int16_t ok = quadkey_window_ranges(&list, &count, &extent, &window);
  if (ok) *out = ranges_text(desc, &list, count, quote);
  list_free_all(&list);
  return ok;
}

DRect object_rect(const MapObject* window, const CoordXform* xform) {
  const IntPoint corners[2] = {{window->mbr.x1, window->mbr.y1}, {window->mbr.x2, window->mbr.y2}};
  DPoint p[2];
  xform_int_to_xy(corners, p, xform, 2);
  return DRect{std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y), std::max(p[0].x, p[1].x),
               std::max(p[0].y, p[1].y)};
}

}  // namespace

int32_t xy_window_clause(const SpatialColumnDesc* desc, const char*, double x_min, double y_min, double x_max,
                         double y_max, const char* quote, char* text, int32_t room, int16_t parameterised) {
  return append_fitting(text, room, comparisons(desc, x_min, y_min, x_max, y_max, quote, parameterised != 0));
}

int32_t xy_code_ranges_clause(const SpatialColumnDesc* desc, const KernelList* ranges, int32_t count,
                              const char* quote, char* text, int32_t room) {
  if (count <= 0 || ranges == nullptr) return 0;
  return append_fitting(text, room, ranges_text(desc, ranges, count, quote));
}

int32_t xy_code_window_clause(const SpatialColumnDesc* desc, const MapObject* window, const char* quote, char* text,
                              int32_t room) {
  if (window == nullptr) return 0;
  std::string ranges;
  if (!window_ranges(desc, object_rect(window, desc->coordsys), quote, &ranges)) return -1;
  return ranges.empty() ? 0 : append_fitting(text, room, ranges);
}

int32_t xy_code_and_xy_window_clause(const SpatialColumnDesc* desc, const char*, double x_min, double y_min,
                                     double x_max, double y_max, const char* quote, char* text, int32_t room,
                                     int16_t parameterised) {
  std::string clause;
  if (parameterised) {
    clause = "?) and (";
  } else {
    std::string ranges;
    if (!window_ranges(desc, DRect{x_min, y_min, x_max, y_max}, quote, &ranges)) return -1;
    if (!ranges.empty()) clause = ranges.append(") and (");
  }
  clause += comparisons(desc, x_min, y_min, x_max, y_max, quote, parameterised != 0);
  return append_fitting(text, room, clause);
}

int16_t xy_bind_window_values(const MapObject* window, const char* statement, const CoordXform* xform, char** out) {
  *out = nullptr;
  if (window == nullptr || statement == nullptr) return 0;
  const DRect r = object_rect(window, xform);
  const double values[4] = {r.x1, r.x2, r.y1, r.y2};
  std::string text = statement;
  size_t at = 0;
  int16_t answer = 1;
  for (double v : values) {
    at = text.find('?', at);
    if (at == std::string::npos) {
      answer = -1;
      break;
    }
    const std::string n = number(v);
    text.replace(at, 1, n);
    at += n.size();
  }
  *out = srv_text_block(text);
  return *out != nullptr ? answer : 0;
}
