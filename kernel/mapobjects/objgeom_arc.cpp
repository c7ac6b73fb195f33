// Arcs, ellipses and text geometry. See objgeom_arc.h.
#include "kernel/mapobjects/objgeom_arc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernel/coordsys/conv.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/num.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLimit = 1000000000.0;

int32_t clamp_coord(double v) { return static_cast<int32_t>(std::clamp(v, -kLimit, kLimit)); }

void resolutions(double* r1, double* r2) {
  int32_t dx = 96, dy = 96;
  kernel_display_info(nullptr, nullptr, &dx, &dy);
  *r1 = dx > 0 ? dx : 96;
  *r2 = dy > 0 ? dy : 96;
}

// A lead byte whose trail byte lies within the length.
bool pair_at(const char* text, int32_t i, int32_t length) { return i + 1 < length && mb_is_lead_byte(text + i); }

// The 1000 x 1000 device square a text box is fitted to: the box's extent
// in the table's plane (integer scale and offset undone) centred in the
// square with equal scales on both axes, device y growing downward. Within
// one table transform this is the per-axis linear map that fitting a device
// transform like the table's to that extent gives.
class DeviceSquare {
 public:
  DeviceSquare(const IntRect* box, const CoordXform* xform) : xform_(xform) {
    DRect ext;
    xform_int_rect_unscale(box, &ext, xform);
    drect_normalise(&ext);
    cx_ = (ext.x1 + ext.x2) / 2;
    cy_ = (ext.y1 + ext.y2) / 2;
    double m = std::max(ext.x2 - ext.x1, ext.y2 - ext.y1);
    scale_ = m > 0 ? 1000 / m : 1;
  }
  void to_device(const IntRect* map, DRect* out) const {
    DPoint p[2] = {{double(map->x1), double(map->y1)}, {double(map->x2), double(map->y2)}};
    xform_unscale_points(p, p, xform_, 2);
    for (DPoint& q : p) q = DPoint{500 + (q.x - cx_) * scale_, 500 - (q.y - cy_) * scale_};
    drect_from_points(out, &p[0], &p[1]);
  }
  void to_map(const DRect* device, IntRect* out) const {
    DPoint p[2] = {{device->x1, device->y1}, {device->x2, device->y2}};
    for (DPoint& q : p) q = DPoint{cx_ + (q.x - 500) / scale_, cy_ - (q.y - 500) / scale_};
    xform_scale_points(p, p, xform_, 2);
    IntPoint i[2] = {{clamp_coord(std::round(p[0].x)), clamp_coord(std::round(p[0].y))},
                     {clamp_coord(std::round(p[1].x)), clamp_coord(std::round(p[1].y))}};
    rect_from_points(out, &i[0], &i[1]);
  }

 private:
  const CoordXform* xform_;
  double cx_ = 0, cy_ = 0, scale_ = 1;
};

}  // namespace

// ---- arcs and ellipses -------------------------------------------------------

void mapobj_ellipse_points(const IntPoint*, const IntPoint* centre, double rx, double ry, double start, double step,
                           int32_t count, IntPoint* out) {
  for (int32_t i = 0; i < count; ++i) {
    double t = start + i * step;
    out[i].x = clamp_coord(std::trunc(rx * std::cos(t) + centre->x));
    out[i].y = clamp_coord(std::trunc(ry * std::sin(t) + centre->y));
  }
}

int32_t mapobj_arc_points(const MapObject* obj, int32_t resolution, IntPoint** points_out, void** aux_out) {
  if (points_out) *points_out = nullptr;
  if (aux_out) *aux_out = nullptr;
  if (!points_out || resolution < kMapResolutionMin) return 0;
  IntRect rect;
  int32_t s = 0, e = 3600;
  if (obj->type == MAPOBJ_ARC) {
    rect = obj->u.arc.rect;
    s = obj->u.arc.start;
    e = obj->u.arc.end;
  } else if (obj->type == MAPOBJ_ELLIPSE) {
    rect = obj->mbr;
  } else {
    return 0;
  }
  int64_t span = e - s;
  if (e < s) span += 3600;
  // Angles from files may lie anywhere in 16 bits: at most one full turn.
  if (span < 0 || span > 3600) span = (span % 3600 + 3600) % 3600;
  int64_t r = std::min(resolution, kMapResolutionMax);
  int64_t count = 2 + span * r / 3600;
  IntPoint* points = nullptr;
  if (!mem_alloc_zeroed(count * 8, &points)) return 0;
  double step = span * kPi / ((count - 1) * 1800.0);
  double start = s * kPi / 1800;
  double rx = static_cast<double>((int64_t(rect.x2) - rect.x1) / 2);
  double ry = static_cast<double>((int64_t(rect.y2) - rect.y1) / 2);
  IntPoint centre;
  rect_center(&rect, &centre);
  mapobj_ellipse_points(&centre, &centre, rx, ry, start, step, static_cast<int32_t>(count), points);
  *points_out = points;
  return static_cast<int32_t>(count);
}

void mapobjx_arc_end_points(const IntRect* rect, int16_t start, int16_t end, IntPoint* start_out, IntPoint* end_out) {
  IntPoint c;
  rect_center(rect, &c);
  double rx = (static_cast<double>(rect->x2) - rect->x1) / 2;
  double ry = (static_cast<double>(rect->y2) - rect->y1) / 2;
  const int16_t angles[2] = {start, end};
  IntPoint* outs[2] = {start_out, end_out};
  for (int i = 0; i < 2; ++i) {
    if (!outs[i]) continue;
    double t = angles[i] * kPi / 1800.0;
    outs[i]->x = num_round_int_sat(c.x + static_cast<double>(num_round_int64(std::cos(t) * rx)));
    outs[i]->y = num_round_int_sat(c.y + static_cast<double>(num_round_int64(std::sin(t) * ry)));
  }
}

void mapobjx_arc_compute_mbr(MapObject* obj) {
  if (obj->type != MAPOBJ_ARC) return;
  const IntRect& r = obj->u.arc.rect;
  double s = obj->u.arc.start / 10.0, e = obj->u.arc.end / 10.0;
  while (s < 0) s += 360;
  while (e <= s) e += 360;
  int qs = static_cast<int>(std::trunc(s / 90)) % 4, qe = static_cast<int>(std::trunc(e / 90)) % 4;
  if (qs == qe && e - s > 90) {
    obj->mbr = r;
    return;
  }
  IntPoint a, b, c;
  mapobjx_arc_end_points(&r, obj->u.arc.start, obj->u.arc.end, &a, &b);
  rect_from_points(&obj->mbr, &a, &b);
  rect_center(&r, &c);
  for (int q = qs; q != qe; q = (q + 1) % 4) {
    const IntPoint leave[4] = {{c.x, r.y2}, {r.x1, c.y}, {c.x, r.y1}, {r.x2, c.y}};
    rect_add_point(&obj->mbr, &leave[q]);
  }
}

void mapobjx_arc_mirror_angles(int16_t* start, int16_t* end, int16_t flip_x, int16_t flip_y) {
  int16_t s = *start, e = *end;
  if (flip_x) {
    s = static_cast<int16_t>(1800 - s);
    e = static_cast<int16_t>(1800 - e);
  }
  if (flip_y) {
    s = static_cast<int16_t>(3600 - s);
    e = static_cast<int16_t>(3600 - e);
  }
  if ((flip_x != 0) != (flip_y != 0)) std::swap(s, e);
  while (s < 0) s = static_cast<int16_t>(s + 3600);
  while (s >= 3600) s = static_cast<int16_t>(s - 3600);
  while (e >= 3600) e = static_cast<int16_t>(e - 3600);
  while (e <= s) e = static_cast<int16_t>(e + 3600);
  *start = s;
  *end = e;
}

int16_t mapobjx_point_angle(double a, double b) {
  if (b == 0) return a > 0 ? 900 : 2700;
  if (a == 0) return b > 0 ? 0 : 1800;
  double deg = std::atan2(a, b) * 180 / kPi;
  if (deg < 0) deg += 360;
  return num_round_short(deg * 10);
}

void mapobjx_arc_angles_from_points(const IntRect* rect, const IntPoint* p, const IntPoint* q, int16_t* start_out,
                                    int16_t* end_out, int16_t swap) {
  IntPoint c;
  rect_center(rect, &c);
  double rx = (static_cast<double>(rect->x2) - rect->x1) / 2;
  double ry = (static_cast<double>(rect->y2) - rect->y1) / 2;
  int16_t s = mapobjx_point_angle((static_cast<double>(p->y) - c.y) * rx, (static_cast<double>(p->x) - c.x) * ry);
  int16_t e = mapobjx_point_angle((static_cast<double>(q->y) - c.y) * rx, (static_cast<double>(q->x) - c.x) * ry);
  if (swap) std::swap(s, e);
  while (e <= s) e = static_cast<int16_t>(e + 3600);
  *start_out = s;
  *end_out = e;
}

static int16_t arc_set_points(MapObject* obj, const IntPoint* p, const IntPoint* q, int16_t swap) {
  if (obj->type != MAPOBJ_ARC) return 0;
  mapobjx_arc_angles_from_points(&obj->u.arc.rect, p, q, &obj->u.arc.start, &obj->u.arc.end, swap);
  mapobjx_arc_compute_mbr(obj);
  return 1;
}

int16_t mapobjx_arc_set_points(MapObject* obj, const IntPoint* p, const IntPoint* q) {
  return arc_set_points(obj, p, q, 0);
}

int16_t mapobjx_arc_set_points_reversed(MapObject* obj, const IntPoint* p, const IntPoint* q) {
  return arc_set_points(obj, p, q, 1);
}

void mapobjx_ellipse_rect_from_quadrant(IntRect* out, const IntPoint* p, const IntPoint* q) {
  int64_t x1 = std::min(p->x, q->x), x2 = std::max(p->x, q->x);
  int64_t y1 = std::min(p->y, q->y), y2 = std::max(p->y, q->y);
  int64_t ox1 = p->y < q->y ? x1 : 2 * x1 - x2;
  int64_t oy1 = p->x < q->x ? 2 * y1 - y2 : y1;
  out->x1 = clamp_coord(static_cast<double>(ox1));
  out->y1 = clamp_coord(static_cast<double>(oy1));
  out->x2 = clamp_coord(static_cast<double>(ox1 + 2 * (x2 - x1)));
  out->y2 = clamp_coord(static_cast<double>(oy1 + 2 * (y2 - y1)));
}

// ---- device variants ------------------------------------------------------------

namespace {

void device_corners(const IntRect* rect, const CoordConv* conv, IntPoint out[2]) {
  IntPoint in[2] = {{rect->x1, rect->y1}, {rect->x2, rect->y2}};
  conv_map_to_device_clamped(in, out, conv, 2);
}

// One axis of the device quadrant rectangle mirrored onto the map: the
// point whose device coordinate lies on an edge of the device rectangle
// keeps its map coordinate as a side; the other side lies beyond the other
// point at twice its distance.
void device_quadrant_side(int32_t dev_p, int32_t dev_lo, int32_t dev_hi, int32_t map_p, int32_t map_q,
                          int32_t* side_a, int32_t* side_b) {
  bool keep_p = dev_p == dev_lo || dev_p == dev_hi;
  int64_t kept = keep_p ? map_p : map_q, other = keep_p ? map_q : map_p;
  *side_a = clamp_coord(static_cast<double>(kept));
  *side_b = clamp_coord(static_cast<double>(kept + 2 * (other - kept)));
}

}  // namespace

void mapobjx_arc_rect_from_device_points(IntRect* out, const IntPoint* p, const IntPoint* q, const CoordConv* conv) {
  IntPoint in[2] = {*p, *q}, d[2];
  conv_map_to_device_clamped(in, d, conv, 2);
  IntRect device;
  mapobjx_ellipse_rect_from_quadrant(&device, &d[0], &d[1]);
  device_quadrant_side(d[0].x, device.x1, device.x2, p->x, q->x, &out->x1, &out->x2);
  device_quadrant_side(d[0].y, device.y1, device.y2, p->y, q->y, &out->y1, &out->y2);
  rect_normalise(out);
}

int16_t mapobjx_rect_device_flipped(const IntRect* rect, const CoordConv* conv) {
  IntPoint d[2];
  device_corners(rect, conv, d);
  return (d[0].y < d[1].y) != (d[1].x < d[0].x) ? 1 : 0;
}

void mapobjx_order_points_for_device(IntPoint* p, IntPoint* q, const IntRect* rect, const CoordConv* conv) {
  if (mapobjx_rect_device_flipped(rect, conv)) std::swap(*p, *q);
}

void mapobjx_arc_device_end_points(const MapObject* arc, const CoordConv* conv, IntPoint* start_out,
                                   IntPoint* end_out) {
  mapobjx_arc_end_points(&arc->u.arc.rect, arc->u.arc.start, arc->u.arc.end, start_out, end_out);
  mapobjx_order_points_for_device(start_out, end_out, &arc->u.arc.rect, conv);
}

void mapobjx_arc_angles_for_device(const MapObject* arc, const CoordConv* conv, int16_t* start_out, int16_t* end_out) {
  IntPoint d[2];
  device_corners(&arc->u.arc.rect, conv, d);
  *start_out = arc->u.arc.start;
  *end_out = arc->u.arc.end;
  mapobjx_arc_mirror_angles(start_out, end_out, static_cast<int16_t>(d[1].x < d[0].x),
                            static_cast<int16_t>(d[0].y < d[1].y));
}

void mapobjx_arc_angles_for_device_norm(const MapObject* arc, const CoordConv* conv, int16_t* start_out,
                                        int16_t* end_out) {
  mapobjx_arc_angles_for_device(arc, conv, start_out, end_out);
  while (*start_out >= 3600) *start_out = static_cast<int16_t>(*start_out - 3600);
  while (*end_out >= 3600) *end_out = static_cast<int16_t>(*end_out - 3600);
}

// ---- text --------------------------------------------------------------------

int32_t objtext_convert_escapes(char* out, const char* text, int32_t length, int16_t to_breaks) {
  int32_t o = 0;
  for (int32_t i = 0; i < length;) {
    if (pair_at(text, i, length)) {
      out[o++] = text[i++];
      out[o++] = text[i++];
      continue;
    }
    if (to_breaks && text[i] == '\\' && i + 1 < length && text[i + 1] == 'n') {
      out[o++] = '\r';
      out[o++] = '\n';
      i += 2;
    } else if (!to_breaks && text[i] == '\r' && i + 1 < length && text[i + 1] == '\n') {
      out[o++] = '\\';
      out[o++] = 'n';
      i += 2;
    } else {
      out[o++] = text[i++];
    }
  }
  out[o] = '\0';
  return o;
}

int32_t objtext_add_cr(char** out_ref, const char* text, int32_t length) {
  *out_ref = nullptr;
  int64_t feeds = std::count(text, text + length, '\n');
  char* out = nullptr;
  if (!mem_alloc_zeroed(length + feeds + 1, &out)) return 0;
  int32_t o = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (text[i] == '\n') out[o++] = '\r';
    out[o++] = text[i];
  }
  *out_ref = out;
  return o;
}

int32_t objtext_drop_cr(char* text) {
  int32_t o = 0;
  for (int32_t i = 0; text[i];) {
    if (text[i + 1] != '\0' && mb_is_lead_byte(text + i)) {
      text[o++] = text[i++];
      text[o++] = text[i++];
    } else if (text[i] == '\r' && text[i + 1] == '\n') {
      ++i;
    } else {
      text[o++] = text[i++];
    }
  }
  text[o] = '\0';
  return o;
}

void objtext_replace_char(char* text, char from, char to) {
  for (char* p = text; *p;) {
    if (p[1] != '\0' && mb_is_lead_byte(p)) {
      p += 2;
      continue;
    }
    if (*p == from) *p = to;
    ++p;
  }
}

const char* objtext_find_char(const char* text, char ch, int32_t n) {
  for (int32_t i = 0; i < n && text[i];) {
    if (text[i + 1] != '\0' && mb_is_lead_byte(text + i)) {
      i += 2;
      continue;
    }
    if (text[i] == ch) return text + i;
    ++i;
  }
  return nullptr;
}

void text_rotated_corners(const DRect* rect, int16_t angle, DPoint out[4]) {
  double r1, r2;
  resolutions(&r1, &r2);
  double t = angle * kPi / 1800, c = std::cos(t), s = std::sin(t);
  double w = rect->x2 - rect->x1, h = rect->y2 - rect->y1;
  double hp = num_muldiv(h, r1, r2), wp = num_muldiv(w, r2, r1);
  out[0] = DPoint{rect->x1, rect->y1};
  out[1] = DPoint{out[0].x + w * c, out[0].y - wp * s};
  out[3] = DPoint{out[0].x + hp * s, out[0].y + h * c};
  out[2] = DPoint{out[1].x + hp * s, out[1].y + h * c};
}

void text_rotated_bounds(DRect* rect, int16_t angle) {
  DPoint p[4];
  text_rotated_corners(rect, angle, p);
  drect_from_points(rect, &p[0], &p[0]);
  for (int i = 1; i < 4; ++i) drect_add_point(rect, &p[i]);
}

void objtext_rotate_box(IntRect* box, int16_t angle, const CoordXform* xform) {
  if (angle == 0) return;
  DeviceSquare square(box, xform);
  DRect d;
  square.to_device(box, &d);
  text_rotated_bounds(&d, angle);
  square.to_map(&d, box);
}

void objtext_unrotated_box(const MapObject* obj, const CoordXform* xform, IntRect* out) {
  const MapTextPart& t = obj->u.text;
  int32_t a = t.angle % 3600;
  if (a < 0) a += 3600;
  if (a == 0) {
    *out = t.box;
    return;
  }
  double r1, r2;
  resolutions(&r1, &r2);
  DeviceSquare square(&t.box, xform);
  DRect b;
  square.to_device(&t.box, &b);
  IntRect first{t.box.x1, t.box.y1, t.box.x1, num_add_coord(t.box.y1, t.height)};
  DRect dev;
  square.to_device(&first, &dev);
  double hd = std::fabs(dev.y2 - dev.y1);
  double x1, y1, x2, y2;
  if (a <= 900) {
    double th = a * kPi / 1800;
    x1 = b.x1;
    y1 = b.y2 - hd * std::cos(th);
    y2 = y1 + hd;
    x2 = x1 + num_muldiv(std::fabs(y1 - b.y1) / std::sin(th), r1, r2);
  } else if (a <= 1800) {
    double th = (a - 900) * kPi / 1800;
    x1 = b.x2 - num_muldiv(hd * std::cos(th), r1, r2);
    y1 = b.y2;
    y2 = b.y2 + hd;
    x2 = x1 + std::fabs(x1 - b.x1) / std::sin(th);
  } else if (a <= 2700) {
    double th = (a - 1800) * kPi / 1800;
    x1 = b.x2;
    y1 = b.y1 + hd * std::cos(th);
    y2 = y1 + hd;
    x2 = x1 + num_muldiv(std::fabs(b.y2 - y1) / std::sin(th), r1, r2);
  } else {
    double th = (a - 2700) * kPi / 1800;
    x1 = b.x1 + num_muldiv(hd * std::cos(th), r1, r2);
    y1 = b.y1;
    y2 = b.y1 + hd;
    x2 = x1 + std::fabs(b.x2 - x1) / std::sin(th);
  }
  DRect d{x1, y1, x2, y2};
  drect_normalise(&d);
  square.to_map(&d, out);
}
