// Spatial SQL per kind: INSERT and UPDATE texts, the acceptance rules of
// the spatial servers with their in-place conversions, and the X/Y and
// quad-key code columns of point tables.
#include "kernel/server/srv_spatial.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/quadkey.h"
#include "kernel/runtime/err.h"
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

int16_t srv_spatial_bind_value(SrvQuery*, SrvConnection*, SrvStatement*, MapObject*, void**, void**, SrvColumn**,
                               int16_t) {
  return 0;
}

int16_t sdorel_point_insert_parts(SpatialColumnDesc*, const char*, MapObject*, char**, char**) { return 0; }
int16_t sdorel_point_update_pair(SpatialColumnDesc*, const char*, MapObject*, char**) { return 0; }

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
