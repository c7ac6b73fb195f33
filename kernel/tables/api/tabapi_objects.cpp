// Table API entries for objects, coordinate systems and encodings: the
// table's coordinate system as a CoordSysInfo with its SRID, CoordSys
// texts, resolutions, object counts, quad keys, geometry reads and the
// encoders of object records into CvRecords, SDO arrays and back.
#include <cstdlib>
#include <cstring>

#include "geometry/encode/cvrecord.h"
#include "geometry/encode/geobridge.h"
#include "geometry/encode/sdo.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"
#include "kernel/coordsys/conv.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/projlist.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/mapobjects/objtrace.h"
#include "kernel/mapobjects/quadkey.h"
#include "kernel/server/ora_srid.h"
#include "kernel/tables/api/tabapi_map.h"

namespace {

bool is_standard_latlong(const CoordSysInfo* info) {
  return info->proj_type == 1 && info->x1 == -360.0 && info->y1 == -90.0 && info->x2 == 360.0 && info->y2 == 90.0;
}

// A transform from the record's type, definition and bounds (the standard
// lat/long bounds widened when asked).
bool info_xform(const CoordSysInfo* info, CoordXform* xform, bool widen) {
  if (info == nullptr || !coordsys_type_valid(info->proj_type)) {
    err_push(4, kApiErrBadSlot, nullptr, nullptr);
    return false;
  }
  DRect b{info->x1, info->y1, info->x2, info->y2};
  if (widen && is_standard_latlong(info)) b = DRect{-1000, -1000, 1000, 1000};
  std::memset(static_cast<void*>(xform), 0, sizeof *xform);
  xform_init_info(xform, info, &b);
  return true;
}

void info_from_xform(const CoordXform* xform, CoordSysInfo* info) {
  std::memset(static_cast<void*>(info), 0, sizeof *info);
  info->proj_type = xform->type;
  std::memcpy(info->def, &xform->def, sizeof info->def);
  DRect b{};
  xform_bounds_in_units(xform, &b, xform_units(xform));
  info->x1 = b.x1;
  info->y1 = b.y1;
  info->x2 = b.x2;
  info->y2 = b.y2;
}

// The style set of an ObjStyles record.
void styles_to_set(const ObjStyles* styles, ObjStyleSet* set) {
  *set = g_default_style_set;
  if (styles == nullptr) return;
  objrec_symbol_from_record(styles->symbol_code, &styles->symbol, &set->symbol);
  objrec_copy_pen(&styles->line_pen, &set->line_pen);
  objrec_copy_pen(&styles->area_pen, &set->area_pen);
  objrec_copy_brush(&styles->brush, &set->brush);
  objrec_copy_font(&styles->font, &set->font);
}

void free_object(MapObject* obj) { mapobj_free(obj); }

// Writes the object a geometry blob holds to the trace file, in the table's
// system (converted back when the slot has an output system).
bool trace_blob(const uint8_t* blob, const CoordXform* target, const CoordXform* table, const CoordConv* conv,
                bool converted, int32_t trace) {
  SpatialObject so;
  ktgeo_so_init_empty(&so);
  MapObject obj;
  mapobj_init(&obj, 0);
  bool ok = ktgeo_unpack_geometry(blob, &so) && geobridge_geometry_to_object(&so, target, &obj, 0);
  if (ok && converted) ok = geobridge_convert_object_inverse(&obj, conv) != 0;
  if (ok) TabApiTraceObject(&obj, table, trace);
  ktgeo_so_release(&so);
  mapobj_free(&obj);
  return ok;
}

}  // namespace

int16_t coordsysinfo_to_xform(const CoordSysInfo* info, CoordXform* xform) { return info_xform(info, xform, true); }

int16_t TabApiGetCoordSys(int32_t slot, CoordSysInfo* info, int32_t* srid, int16_t normalise) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0) || info == nullptr) return 0;
    TableDef* t = api_slot(slot)->table;
    const CoordXform* x = apimap_xform(t);
    if (!apimap_is_file(t) || x == nullptr) {
      err_push(4, kApiErrNoMap, nullptr, nullptr);
      return 0;
    }
    CoordXform own = *x;
    if (srid != nullptr) {
      if (normalise) ora_normalise_latlong(&own);
      coordsys_to_srid(&own, srid);
    }
    info_from_xform(&own, info);
    return 1;
  });
}

int16_t TabApiGetCoordSysInfo(int32_t slot, CoordSysInfo* info) { return TabApiGetCoordSys(slot, info, nullptr, 0); }

int16_t TabApiCoordSysText(const CoordSysInfo* info, char* out) {
  if (out == nullptr) return 0;
  out[0] = '\0';
  CoordXform x;
  if (info == nullptr || !coordsys_type_valid(info->proj_type)) return 0;
  info_xform(info, &x, false);
  coordsys_to_text(&x, out, 255, 1);
  return out[0] != '\0' ? 1 : 0;
}

int16_t TabApiCoordSysInfoText(const CoordSysInfo* info, char* out) {
  return tabapi_entry([&]() -> int16_t {
    CoordXform x;
    if (out == nullptr || !info_xform(info, &x, false)) return 0;
    coordsys_to_text(&x, out, 301, 1);
    return 1;
  });
}

int16_t TabApiCoordSysResolution(const CoordSysInfo* info, int32_t unit, int16_t flag, double* x, double* y) {
  CoordXform xf;
  if (info == nullptr || !coordsys_type_valid(info->proj_type)) return 0;
  info_xform(info, &xf, true);
  (void)flag;
  return coordsys_tolerance(&xf, unit, unit > 0 ? 1 : 0, x, y);
}

void TabApiCoordSysDefaultBounds(CoordSysInfo* info) {
  if (info == nullptr || !coordsys_type_valid(info->proj_type)) return;
  DRect b{};
  if (info->proj_type == 1) {
    CoordXform x;
    xform_default_latlong(&x);
    xform_bounds_in_units(&x, &b, 13);
  } else {
    CoordSysDef def;
    std::memcpy(&def, info->def, sizeof def);
    coordsys_default_bounds(info->proj_type, &def, &b);
  }
  info->x1 = b.x1;
  info->y1 = b.y1;
  info->x2 = b.x2;
  info->y2 = b.y2;
}

int16_t TabApiCoordSysFromText(const char* text, CoordSysInfo* info) {
  return tabapi_entry([&]() -> int16_t {
    CoordXform x;
    if (text == nullptr || info == nullptr || !coordsys_from_text(&x, text, 1)) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    info_from_xform(&x, info);
    return 1;
  });
}

int16_t TabApiMakeMappable(int32_t slot, const CoordSysInfo* info) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 2)) return 0;
    CoordXform x;
    if (!info_xform(info, &x, false)) return 0;
    ApiSlot* s = api_slot(slot);
    return apimap_create(s->table, &x, s->mode);
  });
}

int16_t TabApiGetObjectCounts(int32_t slot, int32_t* points, int32_t* lines, int32_t* regions) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0)) return 0;
    apimap_counts(api_slot(slot)->table, points, lines, regions);
    return 1;
  });
}

int16_t TabApiSpatialKey(const DRect* bounds, const DRect* rect, char* out) {
  if (bounds == nullptr || rect == nullptr || out == nullptr) return 0;
  quadkey_of_rect(bounds, rect, out);
  return out[0] != '\0' ? 1 : 0;
}

int16_t TabApiReadRowGeometry(int32_t slot, int32_t row, char* text, unsigned char** blob, int32_t* code,
                              ObjStyles* styles, DRect* bounds, DPoint* centre) {
  return tabapi_entry([&]() -> int16_t {
    MapObject obj;
    mapobj_init(&obj, 0);
    if (!TabApiRowToText(slot, row, text, blob != nullptr ? &obj : nullptr)) return 0;
    if (blob == nullptr) return 1;
    *blob = nullptr;
    ApiSlot* s = api_slot(slot);
    if (obj.type == 0) {
      if (code != nullptr) *code = 200;
      return 1;
    }
    const CoordXform* table = apimap_xform(s->table);
    CoordConv conv;
    const CoordXform* target = table;
    if (s->output_set) {
      conv_setup(&conv, table, &s->output);
      geobridge_convert_object_forward(&obj, &conv);
      target = &s->output;
    } else {
      conv_setup_identity(&conv);
    }
    int32_t record_code = 0;
    if (styles != nullptr) {
      std::memset(static_cast<void*>(styles), 0, sizeof *styles);
      object_get_styles(&obj, styles, &record_code);
    }
    if (code != nullptr) *code = record_code;
    apimap_user_extent(&obj, target, nullptr, bounds, centre);
    int16_t result = 1;
    if (geobridge_object_to_blob(&obj, target, blob)) {
      if (*blob == nullptr) result = 0;
      if (*blob != nullptr && s->trace != 0 && !trace_blob(*blob, target, table, &conv, s->output_set != 0, s->trace)) {
        err_push(4, kApiErrBadSlot, nullptr, nullptr);
        result = 0;
      }
    } else if (obj.type == 6) {
      int32_t size = 0;
      if (blob_object_size(&obj, &size) && size > 0) {
        uint8_t* rec = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1));
        int32_t length = size;
        if (rec != nullptr && object_to_blob(&obj, target, rec, &length, nullptr)) {
          *blob = ktgeo_pack_cv(rec, static_cast<uint32_t>(length), 0);
        }
        std::free(rec);
      }
      if (*blob == nullptr) result = 0;
    } else {
      result = 0;
    }
    if (!s->cursor_open) free_object(&obj);
    return result;
  });
}

int16_t TabApiObjectToCvRecord(const ObjRecord* record, const CoordSysInfo* info, unsigned char** out,
                               int32_t* size) {
  return tabapi_entry([&]() -> int16_t {
    if (out != nullptr) *out = nullptr;
    if (size != nullptr) *size = 0;
    CoordXform x;
    if (record == nullptr || out == nullptr || size == nullptr || !info_xform(info, &x, false)) return 0;
    MapObject obj;
    mapobj_init(&obj, 0);
    if (!objrec_to_object(record, &obj, nullptr, &x)) {
      free_object(&obj);
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    int32_t n = 0;
    int16_t ok = blob_object_size(&obj, &n) && n > 0;
    if (ok) {
      *out = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(n), 1));
      ok = *out != nullptr && object_to_blob(&obj, &x, *out, &n, nullptr);
      *size = n;
    }
    free_object(&obj);
    return ok;
  });
}

int16_t TabApiObjectToSdo(const ObjRecord* record, const CoordSysInfo* info, SdoArrays* arrays, int16_t short_gtype,
                          int16_t no_srid, int32_t srid) {
  return tabapi_entry([&]() -> int16_t {
    CoordXform x;
    if (record == nullptr || arrays == nullptr || !info_xform(info, &x, false)) return 0;
    MapObject obj;
    mapobj_init(&obj, 0);
    int16_t ok = objrec_to_object(record, &obj, nullptr, &x);
    if (!ok) err_push(4, kApiErrBadSlot, nullptr, nullptr);
    ok = ok && object_to_sdo(&obj, &x, arrays, short_gtype, no_srid, srid);
    free_object(&obj);
    return ok;
  });
}

int16_t TabApiCvRecordToObject(const unsigned char* record, int32_t size, const CoordSysInfo* info,
                               const ObjStyles* styles, ObjRecord* out) {
  return tabapi_entry([&]() -> int16_t {
    CoordXform x;
    if (record == nullptr || size <= 0 || out == nullptr || !info_xform(info, &x, false)) return 0;
    ObjStyleSet set;
    styles_to_set(styles, &set);
    MapObject obj;
    mapobj_init(&obj, 0);
    int16_t ok = blob_to_object(record, size, &set, &x, &obj, 1);
    if (ok) {
      std::memset(static_cast<void*>(out), 0, sizeof *out);
      ok = object_to_objrec(&obj, out, &x, nullptr);
    }
    free_object(&obj);
    return ok;
  });
}

int16_t TabApiPutRecordStyles(ObjRecord* record, const ObjStyles* styles) {
  if (record == nullptr || styles == nullptr) return 1;
  switch (record->code) {
    case 201: std::memcpy(&record->u.point.symbol, &styles->symbol, 12); break;
    case 211: std::memcpy(&record->u.point.symbol, &styles->symbol, 56); break;
    case 212: std::memcpy(&record->u.point.symbol, &styles->symbol, 40); break;
    case 202: record->u.line.pen = styles->line_pen; break;
    case 203: record->u.arc.pen = styles->line_pen; break;
    case 204: record->u.polyline.pen = styles->line_pen; break;
    case 210: record->u.multi.pen = styles->line_pen; break;
    case 205:
      record->u.region.pen = styles->area_pen;
      record->u.region.brush = styles->brush;
      break;
    case 207: case 209:
      record->u.rect.pen = styles->area_pen;
      record->u.rect.brush = styles->brush;
      break;
    case 208:
      record->u.roundrect.pen = styles->area_pen;
      record->u.roundrect.brush = styles->brush;
      break;
    case 206: record->u.text.font = styles->font; break;
    default: break;
  }
  return 1;
}

int16_t TabApiGetRecordStyles(const ObjRecord* record, ObjStyles* styles) {
  if (record == nullptr || styles == nullptr) return 1;
  switch (record->code) {
    case 201: std::memcpy(&styles->symbol, &record->u.point.symbol, 12); break;
    case 211: std::memcpy(&styles->symbol, &record->u.point.symbol, 56); break;
    case 212: std::memcpy(&styles->symbol, &record->u.point.symbol, 40); break;
    case 202: styles->line_pen = record->u.line.pen; break;
    case 203: styles->line_pen = record->u.arc.pen; break;
    case 204: styles->line_pen = record->u.polyline.pen; break;
    case 210: styles->line_pen = record->u.multi.pen; break;
    case 205:
      styles->area_pen = record->u.region.pen;
      styles->brush = record->u.region.brush;
      break;
    case 207: case 209:
      styles->area_pen = record->u.rect.pen;
      styles->brush = record->u.rect.brush;
      break;
    case 208:
      styles->area_pen = record->u.roundrect.pen;
      styles->brush = record->u.roundrect.brush;
      break;
    case 206: styles->font = record->u.text.font; break;
    default: break;
  }
  return 1;
}

void TabApiFreeRecord(void* pointer) { std::free(pointer); }

void TabApiFreeSdoArrays(SdoArrays* arrays) {
  if (arrays != nullptr) sdo_free_arrays(arrays);
}

// ---- coordinate systems: names, output systems, datums ----------------------------

int16_t TabApiCoordSysName(const CoordSysInfo* info, char* out) {
  if (out == nullptr) return 0;
  out[0] = '\0';
  CoordXform x;
  if (info == nullptr || !coordsys_type_valid(info->proj_type)) return 0;
  info_xform(info, &x, false);
  return coordsys_find_name(&x, out, 255, nullptr) ? 1 : 0;
}

int16_t TabApiSetCoordSys(int32_t slot, const CoordSysInfo* info) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_table_check(slot, 2)) return 0;
    ApiSlot* s = api_slot(slot);
    CoordXform x;
    if (!info_xform(info, &x, true)) return 0;
    s->output = x;
    const CoordXform* table = s->table != nullptr ? apimap_xform(s->table) : nullptr;
    s->output_set = table == nullptr || !xform_same_coordsys(&s->output, table, 0) ? 1 : 0;
    return 1;
  });
}

int16_t TabApiDiscardObjects(int32_t slot) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 2)) return 0;
    ApiSlot* s = api_slot(slot);
    if (s->cursor_open) apimap_cursor_close(s);
    return apimap_discard(s->table);
  });
}

void TabApiGetDatum(int32_t number, DatumDef* datum) {
  if (datum == nullptr) return;
  if (tabapi_state().refs == 0) {
    std::memset(static_cast<void*>(datum), 0, sizeof *datum);
    return;
  }
  datum_get(number, datum);
}

void TabApiGetEllipsoid(int32_t number, double* out) {
  if (out == nullptr) return;
  EllipsoidParams p{};
  if (tabapi_state().refs != 0) ellipsoid_params(number, &p);
  out[0] = p.a;
  out[1] = p.e2;
  out[2] = p.f;
}

int16_t TabApiFindDatumNumber(const DatumDef* datum, int16_t* number) { return datum_find_number(datum, number); }
int16_t TabApiGetDatumShiftMethod() { return datum_get_shift_method(); }
void TabApiSetDatumShiftMethod(int16_t value) { datum_set_shift_method(value); }

// ---- objects: traces, geometry objects, conversions and tests ------------------------

int16_t TabApiTraceObject(MapObject* object, const CoordXform* xform, int32_t trace) {
  if (trace == 0 || object == nullptr) return 0;
  return object_write_text(trace, object, xform, 0, nullptr);
}

int16_t TabApiReadRowGeometryObject(int32_t slot, int32_t row, char* text, SpatialObject* geometry) {
  return tabapi_entry([&]() -> int16_t {
    MapObject obj;
    mapobj_init(&obj, 0);
    if (!TabApiRowToText(slot, row, text, geometry != nullptr ? &obj : nullptr)) return 0;
    if (geometry == nullptr) return 1;
    ktgeo_so_init_empty(geometry);
    ApiSlot* s = api_slot(slot);
    int16_t result = 1;
    if (obj.type != 0) {
      const CoordXform* target = apimap_xform(s->table);
      if (s->output_set) {
        CoordConv conv;
        conv_setup(&conv, target, &s->output);
        geobridge_convert_object_forward(&obj, &conv);
        target = &s->output;
      }
      result = geobridge_object_to_geometry(&obj, target, geometry) ? 1 : 0;
    }
    if (!s->cursor_open) free_object(&obj);
    return result;
  });
}

int16_t TabApiObjectToGeometry(const ObjRecord* record, const CoordSysInfo* info, SpatialObject* geometry) {
  return tabapi_entry([&]() -> int16_t {
    CoordXform x;
    if (record == nullptr || geometry == nullptr || !info_xform(info, &x, false)) return 0;
    ktgeo_so_init_empty(geometry);
    MapObject obj;
    mapobj_init(&obj, 0);
    int16_t ok = objrec_to_object(record, &obj, nullptr, &x);
    if (!ok) err_push(4, kApiErrBadSlot, nullptr, nullptr);
    ok = ok && geobridge_object_to_geometry(&obj, &x, geometry);
    free_object(&obj);
    return ok;
  });
}

int16_t TabApiGeometryToObject(SpatialObject* geometry, const CoordSysInfo* info, ObjRecord* record) {
  return tabapi_entry([&]() -> int16_t {
    CoordXform x;
    if (record == nullptr || geometry == nullptr || !info_xform(info, &x, false)) return 0;
    MapObject obj;
    mapobj_init(&obj, 0);
    int16_t ok = geobridge_geometry_to_object(geometry, &x, &obj, 0);
    if (ok) {
      std::memset(static_cast<void*>(record), 0, sizeof *record);
      ok = object_to_objrec(&obj, record, &x, nullptr);
    }
    free_object(&obj);
    return ok;
  });
}

int16_t TabApiConvertObject(const ObjRecord* record, const CoordSysInfo* source, ObjRecord* out,
                            const CoordSysInfo* target) {
  return tabapi_entry([&]() -> int16_t {
    CoordXform from, to;
    if (record == nullptr || out == nullptr || !info_xform(source, &from, true) || !info_xform(target, &to, true))
      return 0;
    MapObject obj;
    mapobj_init(&obj, 0);
    // The object is made in the source system's integer space and written
    // out in the target system's coordinates.
    int16_t ok = objrec_to_object(record, &obj, nullptr, &from);
    if (ok) {
      std::memset(static_cast<void*>(out), 0, sizeof *out);
      ok = object_to_objrec(&obj, out, &from, &to);
    }
    free_object(&obj);
    if (!ok) err_push(4, kApiErrBadSlot, nullptr, nullptr);
    return ok;
  });
}

int16_t TabApiDistance(double* distance, const ObjRecord* a, const ObjRecord* b, const CoordSysInfo* info,
                       int32_t unit, int16_t flag) {
  return tabapi_entry([&]() -> int16_t {
    if (distance == nullptr) return 1;
    const auto point_of = [](const ObjRecord* r, DPoint* p) {
      if (r == nullptr || !(r->code == 201 || r->code == 211 || r->code == 212)) return false;
      *p = r->u.point.at;
      return true;
    };
    DPoint p{}, q{};
    CoordXform x;
    if (!point_of(a, &p) || !point_of(b, &q) || !info_xform(info, &x, true)) {
      if (err_count() == 0) err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    int16_t method = 0;
    *distance = objops_distance(&p, &q, &x, static_cast<int16_t>(unit), xform_units(&x), flag == 0 ? 1 : 0,
                                &method, 0);
    return 1;
  });
}

int16_t TabApiIntersects(const ObjRecord* a, const ObjRecord* b, const CoordSysInfo* info) {
  int16_t answer = 0;
  tabapi_entry([&]() -> int16_t {
    CoordXform x;
    if (a == nullptr || b == nullptr || !info_xform(info, &x, true)) return 0;
    MapObject oa, ob;
    mapobj_init(&oa, 0);
    mapobj_init(&ob, 0);
    const bool made = objrec_to_object(a, &oa, nullptr, &x) && objrec_to_object(b, &ob, nullptr, &x);
    if (!made) err_push(4, kApiErrBadSlot, nullptr, nullptr);
    else answer = objops_intersects(&oa, &ob) ? 1 : 0;
    free_object(&oa);
    free_object(&ob);
    return made ? 1 : 0;
  });
  return answer;
}
