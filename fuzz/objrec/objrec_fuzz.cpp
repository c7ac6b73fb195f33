// Object records built from fuzz bytes, converted into map objects and back
// (both ways, twice): any code byte, any numbers, counts that match their
// arrays or lie outside every bound, names without terminators, long texts.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/objrec.h"
#include "kernel/runtime/err.h"
#include "fuzz/fuzz_bytes.h"

namespace {

struct Bytes : FuzzBytes {
  double coord() {
    int32_t v = take<int32_t>();
    return (v & 1) ? take<double>() : static_cast<double>(v % 2000000) / 7.0;
  }
};

struct Arrays {
  std::vector<std::vector<DPoint>> runs;
  std::vector<ObjSection> sections;
  std::string text;
};

int32_t count_of(Bytes& b, size_t have, int32_t cap) {
  uint8_t sel = b.take<uint8_t>();
  if (sel == 0xFF) return -static_cast<int32_t>(b.take<uint16_t>());
  if (sel == 0xFE) return 0x7fffffff - b.take<uint8_t>();
  if (sel == 0xFD) return 24403224;
  return static_cast<int32_t>(have ? have : static_cast<size_t>(sel % static_cast<uint8_t>(cap)));
}

DPoint* run_of(Bytes& b, Arrays& a, int32_t* count) {
  int32_t want = b.take<uint8_t>() % 40;
  a.runs.emplace_back();
  for (int32_t i = 0; i < want; ++i) a.runs.back().push_back({b.coord(), b.coord()});
  *count = count_of(b, a.runs.back().size(), 1);
  if (*count > static_cast<int32_t>(a.runs.back().size())) *count = 0x7fffffff;  // never read past the run
  return a.runs.back().empty() ? nullptr : a.runs.back().data();
}

ObjSection* sections_of(Bytes& b, Arrays& a, int32_t* count) {
  int32_t want = b.take<uint8_t>() % 6;
  a.sections.reserve(64);
  size_t first = a.sections.size();
  for (int32_t i = 0; i < want; ++i) {
    ObjSection s{};
    s.points = run_of(b, a, &s.count);
    a.sections.push_back(s);
  }
  *count = count_of(b, static_cast<size_t>(want), 1);
  if (*count > want) *count = 24403224;  // refused before any descriptor is read
  return want ? &a.sections[first] : (b.take<uint8_t>() & 1 ? nullptr : a.sections.data());
}

void fill(Bytes& b, ObjRecord* rec, Arrays& a) {
  std::memset(rec, 0, sizeof *rec);
  // Styles, names and numbers: raw bytes over the whole body first.
  size_t raw = b.n < sizeof rec->u ? b.n : sizeof rec->u;
  std::memcpy(&rec->u, b.p, raw);
  b.p += raw / 2, b.n -= raw / 2;
  rec->code = static_cast<uint8_t>(198 + b.take<uint8_t>() % 20);
  switch (rec->code) {
    case OBJREC_POLYLINE: rec->u.polyline.points = run_of(b, a, &rec->u.polyline.count); break;
    case OBJREC_REGION: rec->u.region.section = sections_of(b, a, &rec->u.region.sections); break;
    case OBJREC_MULTI_POLYLINE: rec->u.multi.section = sections_of(b, a, &rec->u.multi.sections); break;
    case OBJREC_MULTIPOINT: rec->u.points.points = run_of(b, a, &rec->u.points.count); break;
    case OBJREC_TEXT: {
      size_t len = b.take<uint16_t>() % 40000;
      a.text.assign(len, 'a');
      for (size_t i = 0; i < len && b.n; ++i) a.text[i] = static_cast<char>(b.take<uint8_t>() | 1);
      rec->u.text.text = b.take<uint8_t>() == 7 ? nullptr : a.text.data();
      break;
    }
    case OBJREC_COLLECTION: {
      auto& c = rec->u.collection;
      c.region.section = b.take<uint8_t>() & 1 ? sections_of(b, a, &c.region.sections) : nullptr;
      c.polyline.section = b.take<uint8_t>() & 1 ? sections_of(b, a, &c.polyline.sections) : nullptr;
      c.multipoint.points = run_of(b, a, &c.multipoint.count);
      if (c.multipoint.count > 0 && !c.multipoint.points) c.multipoint.count = 0;
      break;
    }
    default: break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CoordXform plain, scaled;
  static bool ready = [] {
    CoordSysDef def;
    coordsys_clear(&def);
    xform_init_scaled(&plain, 0, &def, 1, 1, 0, 0);
    xform_init_scaled(&scaled, 0, &def, 1000, -1000, 0, 0);
    return mapobj_runtime_start() != 0;
  }();
  if (!ready || size > 1 << 16) return 0;
  Bytes b{data, size};
  const CoordXform* table = b.take<uint8_t>() & 1 ? &scaled : &plain;
  Arrays arrays;
  ObjRecord rec;
  fill(b, &rec, arrays);
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_NONE);
  if (objrec_to_object(&rec, &obj, nullptr, table)) {
    ObjStyles styles;
    std::memset(&styles, 0, sizeof styles);
    object_get_styles(&obj, &styles, nullptr);
    ObjRecord back;
    std::memset(&back, 0, sizeof back);
    int16_t written = object_to_objrec(&obj, &back, table, nullptr);
    uint8_t type = obj.type;
    // Only one object may use the work buffer at a time.
    mapobj_free(&obj);
    mapobj_init(&obj, MAPOBJ_NONE);
    if (written) {
      if (!objrec_to_object(&back, &obj, nullptr, table)) __builtin_trap();
      if (obj.type != type) __builtin_trap();
    }
  }
  mapobj_free(&obj);
  err_clear();
  return 0;
}
