// Normalisation and bounds. See objgeom_norm.h.
#include "kernel/mapobjects/objgeom_norm.h"

#include "kernel/mapobjects/mapobj_sect.h"

namespace {

int16_t normalize_body(MapObject* obj) {
  if (obj->type == MAPOBJ_COLLECTION) {
    mapobj_update_mbr(obj);
    return 1;
  }
  if (!obj->nodes) return 0;
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: mapobj_update_mbr(obj); return 0;
    case MAPOBJ_MULTIPOINT: mapobj_update_mbr(obj); return 1;
    default: return 0;
  }
}

void bounds_of(const IntPoint* p, int64_t n, IntRect* out) {
  if (n <= 0) {
    rect_set_empty(out);
    return;
  }
  rect_from_points(out, &p[0], &p[0]);
  for (int64_t i = 1; i < n; ++i) rect_add_point(out, &p[i]);
}

}  // namespace

int16_t mapobjx_normalize(MapObject* obj, int16_t) { return normalize_body(obj); }

int16_t mapobjx_normalize_keep_groups(MapObject* obj, int16_t) { return normalize_body(obj); }

void mapobj_update_mbr(MapObject* obj) {
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: {
      MapSection* h = mapobj_lock_sections(obj, 0);
      bool any = false;
      for (int32_t s = 0; h && s < obj->u.poly.sections; ++s) {
        bounds_of(mapobj_section_nodes(h, s), h[s].node_count, &h[s].mbr);
        if (h[s].node_count <= 0) continue;
        if (!any) obj->mbr = h[s].mbr;
        else rect_union(&obj->mbr, &h[s].mbr);
        any = true;
      }
      if (!any) rect_set(&obj->mbr, 0, 0, 0, 0);
      break;
    }
    case MAPOBJ_MULTIPOINT:
      if (obj->u.multipoint.count > 0 && obj->nodes)
        bounds_of(static_cast<const IntPoint*>(obj->nodes), obj->u.multipoint.count, &obj->mbr);
      else
        rect_set(&obj->mbr, 0, 0, 0, 0);
      break;
    case MAPOBJ_COLLECTION: {
      bool any = false;
      MapObject* parts[3] = {obj->u.collection.region, obj->u.collection.polyline, obj->u.collection.multipoint};
      for (MapObject* part : parts) {
        if (!part || mapobj_is_empty(part)) continue;
        if (!any) obj->mbr = part->mbr;
        else rect_union(&obj->mbr, &part->mbr);
        any = true;
      }
      if (!any) rect_set(&obj->mbr, 0, 0, 0, 0);
      break;
    }
    default: break;
  }
}
