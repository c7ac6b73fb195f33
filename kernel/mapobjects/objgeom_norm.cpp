// Normalisation, bounds and measures. See objgeom_norm.h.
#include "kernel/mapobjects/objgeom_norm.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/mapobjects/objgeom_test.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"

namespace {


void bounds_of(const IntPoint* p, int64_t n, IntRect* out) {
  if (n <= 0) {
    rect_set_empty(out);
    return;
  }
  rect_from_points(out, &p[0], &p[0]);
  for (int64_t i = 1; i < n; ++i) rect_add_point(out, &p[i]);
}

bool is_poly(const MapObject* obj) { return obj->type == MAPOBJ_POLYLINE || obj->type == MAPOBJ_REGION; }

int32_t holes_of(const MapSection* h, int32_t k, int32_t count) {
  return std::clamp<int32_t>(h[k].holes, 0, count - k - 1);
}

// Measures of the sections for sorting: computed once into a kernel block,
// or on demand when the block cannot be had.
class Measures {
 public:
  Measures(MapObject* obj, MapSection* h, int32_t count, int16_t keep_groups) : obj_(obj), h_(h) {
    if (!mem_alloc_zeroed(8LL * count, &values_)) {
      err_clear();
      values_ = nullptr;
      return;
    }
    for (int32_t s = 0; s < count;) {
      values_[s] = compute(s);
      s += keep_groups ? 1 + holes_of(h, s, count) : 1;
    }
  }
  ~Measures() { mem_free(&values_); }
  Measures(const Measures&) = delete;
  Measures& operator=(const Measures&) = delete;
  double at(int32_t s) const { return values_ ? values_[s] : compute(s); }
  void swap(int32_t a, int32_t b) {
    if (values_) std::swap(values_[a], values_[b]);
  }
  void rotate(int32_t first, int32_t middle, int32_t last) {
    if (values_) std::rotate(values_ + first, values_ + middle, values_ + last);
  }

 private:
  double compute(int32_t s) const {
    if (obj_->type == MAPOBJ_REGION) return mapobj_ring_area_planar(h_, s, mapobj_plain_xform(), -1);
    return mapobj_section_length(h_, s, mapobj_plain_xform(), -1, 1);
  }
  MapObject* obj_;
  MapSection* h_;
  double* values_ = nullptr;
};

// The passes of the section sort pick, each time, the first section of
// the largest positive measure among those not yet placed. A tournament
// tree over the positions answers that in log time: a placed position
// drops out (minus infinity), and a swap updates the one leaf it changes.
// Ties go to the left, so the first of equal measures wins, as in a scan.
class PassTree {
 public:
  explicit PassTree(int32_t count) {
    while (leaves_ < count) leaves_ *= 2;
    if (!mem_alloc_zeroed(16LL * 2 * leaves_, &nodes_)) {
      err_clear();
      nodes_ = nullptr;
      return;
    }
    for (int32_t i = 0; i < 2 * leaves_; ++i) nodes_[i] = {-HUGE_VAL, i < leaves_ ? 0 : i - leaves_};
  }
  ~PassTree() { mem_free(&nodes_); }
  PassTree(const PassTree&) = delete;
  PassTree& operator=(const PassTree&) = delete;
  bool ready() const { return nodes_ != nullptr; }
  // Measures that are not positive (or NaN) never win.
  void set(int32_t pos, double measure) {
    int32_t i = leaves_ + pos;
    nodes_[i].measure = measure > 0 ? measure : -HUGE_VAL;
    for (i /= 2; i >= 1; i /= 2) {
      const Node &left = nodes_[2 * i], &right = nodes_[2 * i + 1];
      nodes_[i] = right.measure > left.measure ? right : left;
    }
  }
  // The winner's position, or -1 when no measure is positive.
  int32_t best() const { return nodes_[1].measure > 0 ? static_cast<int32_t>(nodes_[1].pos) : -1; }

 private:
  struct Node {
    double measure;
    int64_t pos;
  };
  int32_t leaves_ = 1;
  Node* nodes_ = nullptr;
};

int16_t normalize_body(MapObject* obj, int16_t keep_groups, int16_t force_center) {
  if (obj->type == MAPOBJ_COLLECTION) {
    mapobj_update_mbr(obj);
    return 1;
  }
  if (!obj->nodes) return 0;
  switch (obj->type) {
    case MAPOBJ_POLYLINE: {
      mapobj_update_mbr(obj);
      int16_t moved = mapobjx_sort_sections(obj, 1);
      mapobjx_polyline_center(obj);
      return moved;
    }
    case MAPOBJ_REGION: {
      mapobj_update_mbr(obj);
      int16_t moved = mapobjx_sort_sections(obj, keep_groups);
      if (!keep_groups && mapobjx_nest_rings(obj)) moved = 1;
      if (force_center || !mapobjx_region_holds_point(nullptr, obj)) mapobjx_region_center(obj);
      return moved;
    }
    case MAPOBJ_MULTIPOINT:
      mapobj_update_mbr(obj);
      mapobjx_multipoint_center(obj);
      return 1;
    default: return 0;
  }
}

}  // namespace

int16_t mapobjx_normalize(MapObject* obj, int16_t force_center) { return normalize_body(obj, 0, force_center); }

int16_t mapobjx_normalize_keep_groups(MapObject* obj, int16_t force_center) {
  return normalize_body(obj, 1, force_center);
}

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

// ---- steps ---------------------------------------------------------------------

int16_t mapobjx_sort_sections(MapObject* obj, int16_t keep_groups) {
  if (!is_poly(obj) || obj->u.poly.sections < 2) return 0;
  MapSection* h = mapobj_lock_sections(obj, 0);
  if (!h) return 0;
  const int32_t count = obj->u.poly.sections;
  const bool grouped = obj->type == MAPOBJ_REGION && keep_groups;
  Measures m(obj, h, count, grouped ? 1 : 0);
  const int32_t passes = obj->type == MAPOBJ_REGION && !keep_groups ? count - 1 : 1;
  int16_t moved = 0;
  if (passes > 1) {
    PassTree tree(count);
    if (tree.ready()) {
      for (int32_t s = 0; s < count; ++s) tree.set(s, m.at(s));
      for (int32_t k = 0; k < passes; ++k) {
        int32_t best = tree.best();
        if (best > k) {
          std::swap(h[k], h[best]);
          m.swap(k, best);
          tree.set(best, m.at(best));
          moved = 1;
        }
        tree.set(k, -HUGE_VAL);
      }
      return moved;
    }
    // Without room for the tree: a scan in every pass.
  }
  for (int32_t k = 0; k < passes; ++k) {
    int32_t best = -1;
    double best_measure = 0;
    for (int32_t s = k; s < count;) {
      double v = m.at(s);
      if (v > best_measure) {
        best_measure = v;
        best = s;
      }
      s += grouped ? 1 + holes_of(h, s, count) : 1;
    }
    if (best <= k) continue;
    moved = 1;
    if (!grouped) {
      std::swap(h[k], h[best]);
      m.swap(k, best);
    } else {
      int32_t end = best + 1 + holes_of(h, best, count);
      std::rotate(h + k, h + best, h + end);
      m.rotate(k, best, end);
    }
  }
  return moved;
}

int16_t mapobjx_ring_inside_ring(const MapSection* headers, int32_t inner, int32_t outer) {
  const MapSection& in = headers[inner];
  if (in.node_count <= 0 || !rect_is_inside(&in.mbr, &headers[outer].mbr)) return 0;
  const IntPoint* p = mapobj_section_nodes(headers, inner);
  for (int32_t i = 0; i < in.node_count; ++i)
    if (!mapobjx_point_in_ring(&p[i], headers, outer)) return 0;
  return 1;
}

namespace {

bool bounds_inside(const IntRect& a, const IntRect& b) {
  return a.x1 >= b.x1 && a.x2 <= b.x2 && a.y1 >= b.y1 && a.y2 <= b.y2;
}

// Nesting state: each ring keeps the id of its place when nesting began. A
// ring can only lie inside ring k when its bounds lie inside k's, so the
// candidates of k are found among the rings sorted by left edge (those
// from k's left edge to its right edge, plus any ring whose bounds are
// inverted) and visited in their present order, as a plain scan of the
// later rings would visit them: a ring moved forward as a hole only shifts
// rings already visited.
class RingIndex {
 public:
  RingIndex(const MapSection* h, int32_t count) : count_(count) {
    if (!mem_alloc_zeroed(32LL * count, &block_)) {
      err_clear();
      block_ = nullptr;
      return;
    }
    bounds_ = reinterpret_cast<IntRect*>(block_);
    id_at_ = reinterpret_cast<int32_t*>(bounds_ + count);
    pos_ = id_at_ + count;
    by_left_ = pos_ + count;
    cand_ = by_left_ + count;
    for (int32_t s = 0; s < count; ++s) {
      bounds_[s] = h[s].mbr;
      id_at_[s] = pos_[s] = s;
      if (bounds_[s].x1 <= bounds_[s].x2) by_left_[sorted_++] = s;
      else by_left_[count - 1 - inverted_++] = s;  // inverted bounds: at the far end, unsorted
    }
    std::sort(by_left_, by_left_ + sorted_, [this](int32_t a, int32_t b) { return bounds_[a].x1 < bounds_[b].x1; });
  }
  ~RingIndex() { mem_free(&block_); }
  RingIndex(const RingIndex&) = delete;
  RingIndex& operator=(const RingIndex&) = delete;
  bool ready() const { return block_ != nullptr; }

  // The rings after position k whose bounds lie inside k's, in position
  // order; returns their count (ids in candidates()).
  int32_t collect(int32_t k) {
    const IntRect& outer = bounds_[id_at_[k]];
    int32_t n = 0;
    const int32_t* end = by_left_ + sorted_;
    const int32_t* first = std::lower_bound(static_cast<const int32_t*>(by_left_), end, outer.x1,
                                            [this](int32_t id, int32_t x) { return bounds_[id].x1 < x; });
    const int32_t* last = std::upper_bound(first, end, outer.x2,
                                           [this](int32_t x, int32_t id) { return x < bounds_[id].x1; });
    if (4 * (static_cast<int64_t>(last - first) + inverted_) > count_ - 1 - k) {
      // Many rings in the band: scanning the later positions costs less
      // than sorting them.
      for (int32_t p = k + 1; p < count_; ++p)
        if (bounds_inside(bounds_[id_at_[p]], outer)) cand_[n++] = id_at_[p];
      return n;
    }
    for (const int32_t* it = first; it < last; ++it)
      if (pos_[*it] > k && bounds_inside(bounds_[*it], outer)) cand_[n++] = *it;
    for (int32_t i = 0; i < inverted_; ++i) {
      int32_t id = by_left_[count_ - 1 - i];
      if (pos_[id] > k && bounds_inside(bounds_[id], outer)) cand_[n++] = id;
    }
    std::sort(cand_, cand_ + n, [this](int32_t a, int32_t b) { return pos_[a] < pos_[b]; });
    return n;
  }
  int32_t candidate(int32_t i) const { return cand_[i]; }
  int32_t position(int32_t id) const { return pos_[id]; }
  bool may_lie_inside(int32_t inner_pos, int32_t outer_pos) const {
    return bounds_inside(bounds_[id_at_[inner_pos]], bounds_[id_at_[outer_pos]]);
  }
  // The ring at position from moves to position to (< from).
  void move_forward(int32_t to, int32_t from) {
    std::rotate(id_at_ + to, id_at_ + from, id_at_ + from + 1);
    for (int32_t p = to; p <= from; ++p) pos_[id_at_[p]] = p;
  }

 private:
  int32_t count_;
  void* block_ = nullptr;
  IntRect* bounds_ = nullptr;
  int32_t *id_at_ = nullptr, *pos_ = nullptr, *by_left_ = nullptr, *cand_ = nullptr;
  int32_t sorted_ = 0, inverted_ = 0;
};

// Ring j becomes a hole of ring k unless it lies inside one of k's holes
// found so far; returns whether it became one (and moved forward).
bool take_hole(MapSection* h, const RingIndex* index, int32_t k, int32_t j, int16_t* moved) {
  for (int32_t hole = k + 1; hole <= k + h[k].holes; ++hole) {
    bool may = index ? index->may_lie_inside(j, hole) : true;
    if (may && mapobjx_ring_inside_ring(h, j, hole)) return false;
  }
  h[k].holes += 1;
  int32_t to = k + h[k].holes;
  if (to != j) {
    std::rotate(h + to, h + j, h + j + 1);
    *moved = 1;
  }
  return true;
}

}  // namespace

int16_t mapobjx_nest_rings(MapObject* obj) {
  if (obj->type != MAPOBJ_REGION) return 0;
  MapSection* h = mapobj_lock_sections(obj, 0);
  const int32_t count = obj->u.poly.sections;
  if (!h || count < 1) return 0;
  for (int32_t s = 0; s < count; ++s) h[s].holes = 0;
  RingIndex index(h, count);
  int16_t moved = 0;
  for (int32_t k = 0; k < count - 1;) {
    h[k].holes = 0;
    if (index.ready()) {
      int32_t n = index.collect(k);
      for (int32_t i = 0; i < n; ++i) {
        int32_t j = index.position(index.candidate(i));
        if (!mapobjx_ring_inside_ring(h, j, k)) continue;
        if (take_hole(h, &index, k, j, &moved)) index.move_forward(k + h[k].holes, j);
      }
    } else {
      // Without room for the index: every later ring in turn.
      for (int32_t j = k + 1; j < count; ++j)
        if (mapobjx_ring_inside_ring(h, j, k)) take_hole(h, nullptr, k, j, &moved);
    }
    k += 1 + h[k].holes;
  }
  return moved;
}

int16_t mapobjx_scanline_crossing(int32_t y, const IntPoint* a, const IntPoint* b, int32_t* x_out) {
  if (!((a->y < y && b->y >= y) || (b->y < y && a->y >= y))) return 0;
  double x = a->x + (static_cast<double>(b->x) - a->x) * (static_cast<double>(y) - a->y) /
                        (static_cast<double>(b->y) - a->y);
  *x_out = static_cast<int32_t>(std::trunc(x));
  return 1;
}

void mapobjx_region_center(MapObject* obj) {
  if (obj->type != MAPOBJ_REGION) return;
  MapSection* h = mapobj_lock_sections(obj, 0);
  if (!h || obj->u.poly.sections < 1) return;
  IntPoint c;
  rect_center(&h[0].mbr, &c);
  if (h[0].node_count > 2 && !mapobjx_point_in_region(&c, obj)) {
    int64_t first = INT64_MAX, second = INT64_MAX;
    int32_t last = holes_of(h, 0, obj->u.poly.sections);
    for (int32_t s = 0; s <= last; ++s) {
      const IntPoint* p = mapobj_section_nodes(h, s);
      for (int32_t i = 1; i < h[s].node_count; ++i) {
        int32_t x;
        if (!mapobjx_scanline_crossing(c.y, &p[i - 1], &p[i], &x)) continue;
        if (x < first) {
          second = first;
          first = x;
        } else if (x < second) {
          second = x;
        }
      }
    }
    if (second != INT64_MAX) c.x = static_cast<int32_t>((first + second) / 2);
  }
  mapobjx_set_property(obj, OBJPROP_CENTER, &c);
}

void mapobjx_polyline_center(MapObject* obj) {
  if (obj->type != MAPOBJ_POLYLINE) return;
  MapSection* h = mapobj_lock_sections(obj, 0);
  if (!h || obj->u.poly.sections < 1 || h[0].node_count < 1) return;
  const IntPoint* p = mapobj_section_nodes(h, 0);
  int32_t n = h[0].node_count;
  IntPoint c;
  if (n % 2) c = p[(n - 1) / 2];
  else point_midpoint(&p[n / 2 - 1], &p[n / 2], &c);
  mapobjx_set_property(obj, OBJPROP_CENTER, &c);
}

void mapobjx_multipoint_center(MapObject* obj) {
  if (obj->type != MAPOBJ_MULTIPOINT || !obj->nodes || obj->u.multipoint.count < 1) return;
  const auto* p = static_cast<const IntPoint*>(obj->nodes);
  int32_t n = obj->u.multipoint.count;
  double mx = 0, my = 0;
  for (int32_t i = 0; i < n; ++i) {
    mx += p[i].x;
    my += p[i].y;
  }
  mx /= n;
  my /= n;
  int32_t best = 0;
  double best_d = INFINITY;
  for (int32_t i = 0; i < n; ++i) {
    double d = (p[i].x - mx) * (p[i].x - mx) + (p[i].y - my) * (p[i].y - my);
    if (d < best_d) {
      best_d = d;
      best = i;
    }
  }
  mapobjx_set_property(obj, OBJPROP_CENTER, &p[best]);
}

int16_t mapobjx_region_holds_point(const IntPoint* point, const MapObject* obj) {
  if (obj->type != MAPOBJ_REGION) return 1;
  IntPoint c;
  if (!point) {
    mapobj_get_centroid(obj, &c);
    point = &c;
  }
  return mapobjx_point_in_region(point, obj);
}

// ---- measures ------------------------------------------------------------------

const CoordXform* mapobj_plain_xform() {
  static const CoordXform plain = [] {
    CoordSysDef def;
    coordsys_clear(&def);
    CoordXform x;
    xform_init_scaled(&x, 0, &def, 1, 1, 0, 0);
    return x;
  }();
  return &plain;
}

double mapobj_ring_area(const MapSection* headers, int32_t section, const CoordXform* xform, int16_t unit,
                        int16_t mode, int16_t* planar_out) {
  int16_t type = xform_projection_type(xform);
  bool planar = type == 0 || (mode == 1 && type != 1);
  if (planar_out) *planar_out = planar ? 1 : 0;
  return planar ? mapobj_ring_area_planar(headers, section, xform, unit)
                : mapobj_ring_area_sphere(headers, section, xform, unit);
}

double mapobj_ring_area_planar(const MapSection* headers, int32_t section, const CoordXform* xform, int16_t unit) {
  int32_t n = headers[section].node_count;
  if (n < 2) return 0;
  std::vector<DPoint> xy(n);
  xform_int_to_xy(mapobj_section_nodes(headers, section), xy.data(), xform, n);
  double sum = 0;
  for (int32_t i = 1; i < n; ++i) sum += xy[i - 1].x * xy[i].y - xy[i].x * xy[i - 1].y;
  double out = 0;
  unit_convert(&out, unit, std::fabs(sum) / 2, unit_area_unit(xform_units(xform)));
  return out;
}

double mapobj_ring_area_sphere(const MapSection* headers, int32_t section, const CoordXform* xform, int16_t unit) {
  int32_t n = headers[section].node_count;
  if (n < 3) return 0;
  std::vector<DPoint> ll(n);
  xform_int_to_lonlat(mapobj_section_nodes(headers, section), ll.data(), xform, n);
  struct V {
    double x, y, z;
  };
  std::vector<V> unit_vec(n);
  for (int32_t i = 0; i < n; ++i) {
    proj_to_radians(&ll[i], &ll[i]);
    double cl = std::cos(ll[i].y);
    unit_vec[i] = V{cl * std::cos(ll[i].x), cl * std::sin(ll[i].x), std::sin(ll[i].y)};
  }
  auto angle = [](const DPoint& p, const DPoint& q) { return geo_haversine(&p, &q); };
  double sum = 0;
  const V& o = unit_vec[0];
  for (int32_t i = 2; i < n; ++i) {
    double a = angle(ll[i], ll[0]), b = angle(ll[i - 1], ll[0]), c = angle(ll[i], ll[i - 1]);
    double s = (a + b + c) / 2;
    double t = std::tan(s / 2) * std::tan((s - a) / 2) * std::tan((s - b) / 2) * std::tan((s - c) / 2);
    double e = std::fabs(4 * std::atan(std::sqrt(std::fabs(t))));
    // Orientation of the fan triangle on the sphere: P0 . (Pprev x Pi).
    const V& p = unit_vec[i - 1];
    const V& q = unit_vec[i];
    double triple = o.x * (p.y * q.z - p.z * q.y) + o.y * (p.z * q.x - p.x * q.z) + o.z * (p.x * q.y - p.y * q.x);
    sum += triple > 0 ? e : -e;
  }
  double out = 0;
  unit_convert(&out, unit, std::fabs(sum) * kSphereRadius2, 21);
  return out;
}

double mapobj_region_area(MapObject* obj, const CoordXform* xform, int16_t unit, int16_t mode, int16_t* planar_out) {
  if (planar_out) *planar_out = 1;
  if (obj->type != MAPOBJ_REGION) return 0;
  MapSection* h = mapobj_lock_sections(obj, 0);
  const int32_t count = obj->u.poly.sections;
  double total = 0;
  for (int32_t k = 0; h && k < count;) {
    int32_t holes = holes_of(h, k, count);
    double area = mapobj_ring_area(h, k, xform, unit, mode, planar_out);
    for (int32_t j = k + 1; j <= k + holes; ++j) area -= mapobj_ring_area(h, j, xform, unit, mode, nullptr);
    total += area;
    k += 1 + holes;
  }
  return total;
}

double mapobj_section_length(const MapSection* headers, int32_t section, const CoordXform* xform, int16_t unit,
                             int16_t mode) {
  const IntPoint* p = mapobj_section_nodes(headers, section);
  double total = 0;
  for (int32_t i = 1; i < headers[section].node_count; ++i)
    if (!point_equal(&p[i - 1], &p[i]))
      total += objops_distance_int(&p[i - 1], &p[i], xform, unit, mode == 2 ? 0 : 1, nullptr, 0);
  return total;
}

double mapobj_perimeter(MapObject* obj, const CoordXform* xform, int16_t unit, int16_t mode) {
  if (!is_poly(obj)) return 0;
  MapSection* h = mapobj_lock_sections(obj, 0);
  double total = 0;
  for (int32_t s = 0; h && s < obj->u.poly.sections; ++s)
    if (h[s].node_count >= 2) total += mapobj_section_length(h, s, xform, unit, mode);
  return total;
}

double mapobj_length(MapObject* obj, const CoordXform* xform, int16_t unit, int16_t mode) {
  switch (obj->type) {
    case MAPOBJ_LINE:
      return objops_distance_int(&obj->u.line.start, &obj->u.line.end, xform, unit, mode == 2 ? 0 : 1, nullptr, 0);
    case MAPOBJ_POLYLINE: return mapobj_perimeter(obj, xform, unit, mode);
    case MAPOBJ_COLLECTION:
      return obj->u.collection.polyline ? mapobj_length(obj->u.collection.polyline, xform, unit, mode) : 0;
    default: return 0;
  }
}
