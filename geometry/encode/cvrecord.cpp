// The compact object record codec. The encoder writes one pass into a
// zero-filled buffer sized by blob_object_size; the decoder reads through a
// bounded cursor, so a record shorter than its fields, a negative count or a
// count running past the end is refused (0) rather than read beyond.
//
// Classic record: type byte, rectangle (4 f8) at 1, the type's fields at
// fixed offsets, a final zero byte. Extended record: 0 at 0, 100 at 33,
// BlobSize (i32) at 34, then one record of i32 size, u16 type, byte version
// and the body from offset 45, a final zero byte.
#include "geometry/encode/cvrecord.h"

#include <cstring>
#include <string>
#include <vector>

#include "geometry/ktgeo_blob.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/mapstyle.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/mem.h"

namespace {

constexpr int32_t kExtendedBody = 45;  // body of the one extended record
constexpr int32_t kTextNameBytes = 33;

int16_t storage_class(const MapObject* o) {
    if (mapobj_is_small_format(o, 1)) return MAPOBJ_CLASS_CLASSIC;
    if (mapobj_is_large_format(o, 1)) return MAPOBJ_CLASS_LARGE;
    return MAPOBJ_CLASS_EXTENDED;
}

bool is_poly(const MapObject* o) {
    return o->type == MAPOBJ_POLYLINE || o->type == MAPOBJ_REGION;
}

int64_t node_bytes(const MapObject* o) { return o->u.poly.size; }

MapObject* part_of(const MapObject* o, MapHandle handle) {
    (void)o;
    return handle ? mapobj_lock(handle) : nullptr;
}

// ------------------------------------------------------------ writing

struct Out {
    uint8_t* p;
    const CoordXform* xf;

    void u8(uint8_t v) { p = byte_put_uc1(p, v); }
    void i16(int16_t v) { p = byte_put_i2(p, v); }
    void u16(uint16_t v) { p = byte_put_ui2(p, v); }
    void i32(int32_t v) { p = byte_put_i4(p, v); }
    void f8(double v) { p = byte_put_f8(p, v); }
    void bytes(const void* d, size_t n) { p = byte_put_bytes(p, d, n); }
    void point(const IntPoint& ip) {
        DPoint d;
        xform_int_to_xy(&ip, &d, xf, 1);
        f8(d.x);
        f8(d.y);
    }
    void rect(const IntRect& r) {
        DRect d;
        xform_int_rect_to_xy(&r, &d, xf);
        f8(d.x1);
        f8(d.y1);
        f8(d.x2);
        f8(d.y2);
    }
    void points(const IntPoint* nodes, int32_t n, std::vector<DPoint>* scratch) {
        if (n <= 0) return;
        scratch->resize(static_cast<size_t>(n));
        xform_int_to_xy(nodes, scratch->data(), xf, n);
        for (const DPoint& d : *scratch) {
            f8(d.x);
            f8(d.y);
        }
    }
};

struct SectionWalk {
    Out* out;
    bool wide;  // 32-bit node counts (extended records)
    std::vector<DPoint> scratch;
};

int16_t write_section(const MapSection* s, const IntPoint* nodes, void* user) {
    SectionWalk* w = static_cast<SectionWalk*>(user);
    if (w->wide) w->out->i32(s->node_count);
    else w->out->i16(static_cast<int16_t>(s->node_count));
    w->out->i16(static_cast<int16_t>(s->holes));
    w->out->points(nodes, s->node_count, &w->scratch);
    return 1;
}

void write_sections(Out* out, MapObject* o, bool wide) {
    SectionWalk walk{out, wide, {}};
    mapobj_for_each_section(o, write_section, &walk);
}

IntPoint centre_of(const MapObject* o) {
    IntPoint c{0, 0};
    mapobj_get_centroid(o, &c);
    return c;
}

void write_poly_body(Out* out, MapObject* o) {
    out->rect(o->mbr);
    out->point(centre_of(o));
    out->i16(static_cast<int16_t>(o->u.poly.sections));
    write_sections(out, o, true);
}

void write_multipoint_body(Out* out, MapObject* o) {
    out->rect(o->mbr);
    out->point(centre_of(o));
    const int32_t n = o->u.multipoint.count;
    out->i32(n);
    std::vector<DPoint> scratch;
    if (n > 0 && o->nodes) out->points(static_cast<const IntPoint*>(o->nodes), n, &scratch);
}

// The text body; false when the string cannot be copied.
bool write_text_body(Out* out, MapObject* o) {
    const MapTextPart& t = o->u.text;
    char* text = nullptr;
    int16_t multi = 0;
    if (!objtext_copy_string(o, &text, &multi)) return false;
    const int32_t n = text ? t.length : 0;
    out->i16(t.angle);
    const IntPoint h{0, t.height};
    DPoint hd;
    xform_int_to_xy(&h, &hd, out->xf, 1);
    out->f8(hd.y);
    out->point(t.label_end);
    uint8_t packed[8] = {};
    font_pack(&t.font, packed);
    out->bytes(packed, kFontPackedSize);
    pen_pack(&o->pen, packed);
    out->bytes(packed, kPenPackedSize);
    out->rect(t.box);
    out->u8(static_cast<uint8_t>(t.flags & 0xff));
    out->i16(static_cast<int16_t>(n));
    if (n) out->bytes(text, static_cast<size_t>(n));
    out->u8(0);
    char name[kTextNameBytes] = {};
    std::memcpy(name, t.font.name, sizeof t.font.name);
    name[kTextNameBytes - 1] = '\0';
    out->bytes(name, kTextNameBytes);
    if (text) mem_free(&text);
    return true;
}

bool write_extended_body(Out* out, MapObject* o) {
    switch (o->type) {
        case MAPOBJ_POINT: out->point(o->u.point.location); return true;
        case MAPOBJ_LINE:
            out->point(o->u.line.start);
            out->point(o->u.line.end);
            return true;
        case MAPOBJ_ARC:
            out->rect(o->u.arc.rect);
            out->i16(o->u.arc.start);
            out->i16(o->u.arc.end);
            return true;
        case MAPOBJ_POLYLINE:
        case MAPOBJ_REGION: write_poly_body(out, o); return true;
        case MAPOBJ_TEXT: return write_text_body(out, o);
        case MAPOBJ_RECT:
        case MAPOBJ_ELLIPSE: out->rect(o->mbr); return true;
        case MAPOBJ_MULTIPOINT: write_multipoint_body(out, o); return true;
        case MAPOBJ_COLLECTION: {
            out->rect(o->mbr);
            MapObject* mp = mapobjx_collection_has_multipoint(o) ? part_of(o, o->multipoint_handle) : nullptr;
            MapObject* pl = mapobjx_collection_has_polyline(o) ? part_of(o, o->polyline_handle) : nullptr;
            MapObject* rg = mapobjx_collection_has_region(o) ? part_of(o, o->region_handle) : nullptr;
            out->u8(mp ? 1 : 0);
            if (mp) write_multipoint_body(out, mp);
            out->u8(pl ? 1 : 0);
            if (pl) write_poly_body(out, pl);
            out->u8(rg ? 1 : 0);
            if (rg) write_poly_body(out, rg);
            return true;
        }
        default: return false;
    }
}

int16_t write_extended(MapObject* o, const CoordXform* xf, uint8_t* b, int32_t* length) {
    b[0] = 0;
    b[33] = CVREC_EXTENDED_VERSION;
    Out out{b + 42, xf};
    out.u16(o->type);
    out.u8(1);
    if (!write_extended_body(&out, o)) {
        b[33] = 0;
        *length = 1;
        return 0;
    }
    const int32_t end = static_cast<int32_t>(out.p - b);
    out.u8(0);
    *length = end + 1;
    byte_put_i4(b + 34, *length - 34);
    byte_put_i4(b + 38, end - 38);
    return 1;
}

int16_t write_classic(MapObject* o, const CoordXform* xf, uint8_t* b, int32_t* length) {
    b[0] = o->type;
    Out out{b + 1, xf};
    out.rect(o->type == MAPOBJ_ARC ? o->u.arc.rect : o->mbr);
    switch (o->type) {
        case MAPOBJ_POINT:
            out.p = b + 37;
            out.point(o->u.point.location);
            break;
        case MAPOBJ_LINE:
            out.p = b + 37;
            out.point(o->u.line.start);
            out.point(o->u.line.end);
            break;
        case MAPOBJ_ARC:
            out.p = b + 33;
            out.i16(o->u.arc.start);
            out.i16(o->u.arc.end);
            break;
        case MAPOBJ_POLYLINE:
        case MAPOBJ_REGION:
            out.p = b + 37;
            out.point(centre_of(o));
            out.p = b + 69;
            out.i16(static_cast<int16_t>(o->u.poly.sections));
            write_sections(&out, o, false);
            break;
        default: out.p = b + 33; break;  // rectangle, ellipse
    }
    const int32_t end = static_cast<int32_t>(out.p - b);
    b[end] = 0;
    *length = end + 1;
    return 1;
}

int16_t null_record(uint8_t* b, int32_t* length, int16_t result) {
    b[0] = 0;
    *length = 1;
    return result;
}

int64_t extended_poly_size(const MapObject* o) { return 50 + 2 * node_bytes(o); }

}  // namespace

int16_t blob_object_size(MapObject* o, int32_t* size) {
    int64_t n = 0;
    const int type = o->type;
    if (type == 0 || type == MAPOBJ_ROUNDRECT || type == MAPOBJ_FRAME || type == MAPOBJ_TYPE11 ||
        type == MAPOBJ_TYPE12) {
        n = 33;
    } else if (storage_class(o) == MAPOBJ_CLASS_CLASSIC && !mapobj_is_multi(o)) {
        if (type == MAPOBJ_TEXT) n = 155 + o->u.text.length;
        else n = is_poly(o) ? 72 + 2 * node_bytes(o) : 71;
    } else {
        n = 45 + 2;
        if ((type >= 3 && type <= 7) || type == 9 || type == 13 || type == 14) n += 32;
        switch (type) {
            case MAPOBJ_POINT: n += 16; break;
            case MAPOBJ_LINE: n += 32; break;
            case MAPOBJ_ARC: n += 4; break;
            case MAPOBJ_POLYLINE:
            case MAPOBJ_REGION: n += 18 + 2 * node_bytes(o); break;
            case MAPOBJ_TEXT: n += 75 + o->u.text.length; break;
            case MAPOBJ_MULTIPOINT: n += 20 + 16 * int64_t{o->u.multipoint.count}; break;
            case MAPOBJ_COLLECTION: {
                n += 3;
                if (mapobjx_collection_has_multipoint(o))
                    n += 52 + 16 * int64_t{part_of(o, o->multipoint_handle)->u.multipoint.count};
                if (mapobjx_collection_has_polyline(o))
                    n += extended_poly_size(part_of(o, o->polyline_handle));
                if (mapobjx_collection_has_region(o))
                    n += extended_poly_size(part_of(o, o->region_handle));
                break;
            }
            default: break;
        }
    }
    if (n > INT32_MAX) return 0;
    *size = static_cast<int32_t>(n);
    return 1;
}

int16_t object_to_blob(MapObject* o, const CoordXform* xf, uint8_t* buffer, int32_t* length,
                       void*) {
    int32_t bound = 1;
    if (!blob_object_size(o, &bound)) return null_record(buffer, length, 1);
    std::memset(buffer, 0, static_cast<size_t>(bound));
    const int16_t cls = storage_class(o);
    if (cls == MAPOBJ_CLASS_EXTENDED) return null_record(buffer, length, 1);
    if (cls == MAPOBJ_CLASS_CLASSIC && !mapobj_is_multi(o)) {
        switch (o->type) {
            case MAPOBJ_TEXT: return write_extended(o, xf, buffer, length);
            case MAPOBJ_POINT:
            case MAPOBJ_LINE:
            case MAPOBJ_ARC:
            case MAPOBJ_POLYLINE:
            case MAPOBJ_REGION:
            case MAPOBJ_RECT:
            case MAPOBJ_ELLIPSE: return write_classic(o, xf, buffer, length);
            case MAPOBJ_ROUNDRECT: return null_record(buffer, length, 0);
            default: return null_record(buffer, length, 1);
        }
    }
    return write_extended(o, xf, buffer, length);
}

// ------------------------------------------------------------ reading

namespace {

// A bounded cursor over a record: every read checks what is left.
struct In {
    const uint8_t* base;
    int64_t size;
    int64_t at;
    const CoordXform* xf;

    bool has(int64_t n) const { return n >= 0 && at + n <= size; }
    bool seek(int64_t offset) {
        if (offset < 0 || offset > size) return false;
        at = offset;
        return true;
    }
    bool u8(uint8_t* v) { return has(1) && (byte_get_uc1(base + at, v), at += 1, true); }
    bool i16(int16_t* v) { return has(2) && (byte_get_i2(base + at, v), at += 2, true); }
    bool u16(uint16_t* v) { return has(2) && (byte_get_ui2(base + at, v), at += 2, true); }
    bool i32(int32_t* v) { return has(4) && (byte_get_i4(base + at, v), at += 4, true); }
    bool f8(double* v) { return has(8) && (byte_get_f8(base + at, v), at += 8, true); }
    bool bytes(void* d, int64_t n) {
        return has(n) && (byte_get_bytes(base + at, d, static_cast<size_t>(n)), at += n, true);
    }
    bool dpoint(DPoint* d) { return f8(&d->x) && f8(&d->y); }
    bool point(IntPoint* p) {
        DPoint d;
        if (!dpoint(&d)) return false;
        xform_xy_to_int(&d, p, xf, 1);
        return true;
    }
    bool rect(IntRect* r) {
        DRect d;
        if (!(f8(&d.x1) && f8(&d.y1) && f8(&d.x2) && f8(&d.y2))) return false;
        xform_xy_rect_to_int(&d, r, xf);
        return true;
    }
};

struct Decode {
    In in;
    const ObjStyleSet* styles;
};

// Reads a group's sections: `count` sections, the first announcing the
// holes that follow it. Node counts 16-bit (classic) or 32-bit.
bool read_sections(Decode* d, MapObject* o, int32_t count, bool wide) {
    const bool region = o->type == MAPOBJ_REGION;
    std::vector<DPoint> dpts;
    std::vector<IntPoint> ipts;
    int32_t section = 0;
    int32_t group_left = 0;
    for (int32_t k = 0; k < count; ++k) {
        int32_t n = 0;
        int16_t within = 0;
        if (wide) {
            if (!d->in.i32(&n)) return false;
        } else {
            int16_t n16 = 0;
            if (!d->in.i16(&n16)) return false;
            n = n16;
        }
        if (!d->in.i16(&within) || n < 0 || within < 0) return false;
        if (!d->in.has(int64_t{n} * 16)) return false;
        if (group_left == 0) {
            // A new group: this section and the holes it announces.
            if (int64_t{within} >= count - k) return false;
            int32_t first = 0;
            if (!mapobjx_add_sections(o, region ? within + 1 : 1, n, &first)) return false;
            section = first;
            group_left = region ? within + 1 : 1;
        }
        dpts.resize(static_cast<size_t>(n));
        for (int32_t i = 0; i < n; ++i) d->in.dpoint(&dpts[static_cast<size_t>(i)]);
        ipts.resize(static_cast<size_t>(n));
        if (n) xform_xy_to_int(dpts.data(), ipts.data(), d->in.xf, n);
        int32_t keep = n;
        if (region && keep > 1) {
            const bool closed = wide ? (ipts[0].x == ipts[static_cast<size_t>(keep - 1)].x &&
                                        ipts[0].y == ipts[static_cast<size_t>(keep - 1)].y)
                                     : (dpts[0].x == dpts[static_cast<size_t>(keep - 1)].x &&
                                        dpts[0].y == dpts[static_cast<size_t>(keep - 1)].y);
            if (closed) --keep;
        }
        if (keep && !mapobjx_insert_nodes(o, section, 0, ipts.data(), keep, nullptr, nullptr))
            return false;
        ++section;
        --group_left;
    }
    return group_left == 0;
}

void take_line_pen(MapObject* o, const ObjStyleSet* s) { o->pen = s->line_pen; }
void take_area_styles(MapObject* o, const ObjStyleSet* s) {
    o->pen = s->area_pen;
    o->brush = s->brush;
}

// Font from the style set, the packed font bytes over it, the size again
// from the set.
void unpack_font(const uint8_t* packed, const ObjStyleSet* s, FontStyle* font) {
    *font = s->font;
    font_unpack(packed, font);
    font->size = s->font.size;
}

bool read_poly(Decode* d, MapObject* o, bool wide) {
    int16_t sections = 0;
    if (wide) {
        IntRect mbr;
        IntPoint centre;
        if (!(d->in.rect(&mbr) && d->in.point(&centre))) return false;
        o->mbr = mbr;
        if (!(d->in.i16(&sections) && sections >= 0)) return false;
        o->u.poly.line_flags &= ~1u;
        if (!read_sections(d, o, sections, true)) return false;
        mapobjx_set_center(o, &centre, 0);
        mapobjx_normalize_keep_groups(o, 0);
    } else {
        if (!(d->in.seek(69) && d->in.i16(&sections) && sections >= 0)) return false;
        o->u.poly.line_flags &= ~1u;
        if (!read_sections(d, o, sections, false)) return false;
        mapobjx_normalize_keep_groups(o, 1);
    }
    if (o->type == MAPOBJ_REGION) take_area_styles(o, d->styles);
    else take_line_pen(o, d->styles);
    return true;
}

bool read_multipoint(Decode* d, MapObject* o) {
    IntRect mbr;
    IntPoint centre;
    int32_t n = 0;
    if (!(d->in.rect(&mbr) && d->in.point(&centre) && d->in.i32(&n))) return false;
    if (n < 0 || !d->in.has(int64_t{n} * 16)) return false;
    o->mbr = mbr;
    o->u.multipoint.symbol = d->styles->symbol;
    o->u.multipoint.center = centre;
    std::vector<DPoint> dpts(static_cast<size_t>(n));
    std::vector<IntPoint> ipts(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) d->in.dpoint(&dpts[static_cast<size_t>(i)]);
    if (n) xform_xy_to_int(dpts.data(), ipts.data(), d->in.xf, n);
    return n == 0 || mapobjx_multipoint_add_nodes(o, n, ipts.data(), nullptr, nullptr);
}

// Text fields common to both forms after the label point.
bool read_text_styles(Decode* d, MapObject* o) {
    uint8_t font[kFontPackedSize], pen[kPenPackedSize];
    IntRect box;
    if (!(d->in.bytes(font, kFontPackedSize) && d->in.bytes(pen, kPenPackedSize) &&
          d->in.rect(&box)))
        return false;
    unpack_font(font, d->styles, &o->u.text.font);
    pen_unpack(pen, &o->pen);
    o->u.text.box = box;
    return true;
}

int32_t height_from(const CoordXform* xf, double height) {
    const DPoint p{0.0, height};
    IntPoint ip;
    xform_xy_to_int(&p, &ip, xf, 1);
    return ip.y;
}

bool read_string(Decode* d, MapObject* o, int16_t n, bool store) {
    if (n < 0 || !d->in.has(int64_t{n} + 1)) return false;
    std::string text(reinterpret_cast<const char*>(d->in.base + d->in.at), static_cast<size_t>(n));
    d->in.at += n + 1;
    if (!store) return true;
    text = text.c_str();  // a zero inside ends the string
    return objtext_set_string(o, text.c_str()) == 1;
}

bool read_classic_text(Decode* d, MapObject* o, int16_t text_flag) {
    int16_t angle = 0, n = 0;
    double height = 0;
    IntPoint label;
    uint8_t flags = 0;
    if (!(d->in.seek(33) && d->in.i16(&angle) && d->in.seek(45) && d->in.f8(&height) &&
          d->in.point(&label) && d->in.i16(&n)))
        return false;
    if (!read_text_styles(d, o) || !d->in.u8(&flags)) return false;
    MapTextPart& t = o->u.text;
    t.angle = n > 255 ? 0 : angle;
    t.height = height_from(d->in.xf, height);
    t.label_end = label;
    t.flags = (t.flags & ~0xffu) | flags;
    return read_string(d, o, n, text_flag != 0);
}

bool read_extended_text(Decode* d, MapObject* o) {
    int16_t angle = 0, n = 0;
    double height = 0;
    IntPoint label;
    uint8_t flags = 0;
    if (!(d->in.i16(&angle) && d->in.f8(&height) && d->in.point(&label))) return false;
    if (!(read_text_styles(d, o) && d->in.u8(&flags) && d->in.i16(&n))) return false;
    MapTextPart& t = o->u.text;
    t.angle = angle;
    t.height = height_from(d->in.xf, height);
    t.label_end = label;
    t.flags = ((t.flags & ~0xffu) | flags) & ~0x100u;
    o->mbr = t.box;
    rect_add_point(&o->mbr, &label);
    if (!read_string(d, o, n, true)) return false;
    char name[kTextNameBytes] = {};
    if (!d->in.bytes(name, kTextNameBytes)) return false;
    name[kTextNameBytes - 1] = '\0';
    std::memset(t.font.name, 0, sizeof t.font.name);
    std::memcpy(t.font.name, name, strnlen(name, sizeof t.font.name - 1));
    return true;
}

bool read_extended_body(Decode* d, MapObject* o, int type);

bool read_collection(Decode* d, MapObject* o) {
    IntRect mbr;
    if (!d->in.rect(&mbr)) return false;
    o->mbr = mbr;
    struct Part {
        int type;
        MapHandle* handle;
        MapObject** pointer;
    };
    const Part parts[] = {
        {MAPOBJ_MULTIPOINT, &o->multipoint_handle, &o->u.collection.multipoint},
        {MAPOBJ_POLYLINE, &o->polyline_handle, &o->u.collection.polyline},
        {MAPOBJ_REGION, &o->region_handle, &o->u.collection.region}};
    for (const Part& p : parts) {
        uint8_t present = 0;
        if (!d->in.u8(&present)) return false;
        if (!present) continue;
        MapObject* part = nullptr;
        if (*p.handle) {
            part = mapobj_lock(*p.handle);
        } else if (!mapobj_new(p.handle, &part, p.type, 0)) {
            return false;
        }
        *p.pointer = part;
        mapobj_set_type(part, p.type);
        if (!read_extended_body(d, part, p.type)) return false;
    }
    return true;
}

bool read_extended_body(Decode* d, MapObject* o, int type) {
    const ObjStyleSet* s = d->styles;
    switch (type) {
        case MAPOBJ_POINT: {
            IntPoint p;
            if (!d->in.point(&p)) return false;
            mapobjx_point_set(o, &p, &s->symbol);
            o->mbr = IntRect{p.x, p.y, p.x, p.y};
            return true;
        }
        case MAPOBJ_LINE: {
            IntPoint a, b;
            if (!(d->in.point(&a) && d->in.point(&b))) return false;
            take_line_pen(o, s);
            o->u.line.start = a;
            o->u.line.end = b;
            rect_from_points(&o->mbr, &a, &b);
            return true;
        }
        case MAPOBJ_ARC: {
            IntRect r;
            int16_t start = 0, end = 0;
            if (!(d->in.rect(&r) && d->in.i16(&start) && d->in.i16(&end))) return false;
            o->u.arc.rect = r;
            o->u.arc.start = start;
            o->u.arc.end = end;
            o->mbr = r;
            take_line_pen(o, s);
            return true;
        }
        case MAPOBJ_POLYLINE:
        case MAPOBJ_REGION: return read_poly(d, o, true);
        case MAPOBJ_TEXT: return read_extended_text(d, o);
        case MAPOBJ_RECT:
        case MAPOBJ_ELLIPSE: {
            IntRect r;
            if (!d->in.rect(&r)) return false;
            o->mbr = r;
            take_area_styles(o, s);
            return true;
        }
        case MAPOBJ_MULTIPOINT: return read_multipoint(d, o);
        case MAPOBJ_COLLECTION: return read_collection(d, o);
        default: return false;
    }
}

bool read_classic(Decode* d, MapObject* o, int16_t text_flag) {
    const int type = d->in.base[0];
    IntRect r;
    if (!(d->in.seek(1) && d->in.rect(&r))) return false;
    mapobj_set_type(o, type);
    o->mbr = r;
    const ObjStyleSet* s = d->styles;
    switch (type) {
        case MAPOBJ_POINT: {
            IntPoint p;
            if (!(d->in.seek(37) && d->in.point(&p))) return false;
            mapobjx_point_set(o, &p, &s->symbol);
            return true;
        }
        case MAPOBJ_LINE: {
            double llx = 0, urx = 0;
            IntPoint a, b;
            byte_get_f8(d->in.base + 1, &llx);
            byte_get_f8(d->in.base + 17, &urx);
            if (!(d->in.seek(37) && d->in.point(&a) && d->in.point(&b))) return false;
            take_line_pen(o, s);
            o->u.line.start = a;
            o->u.line.end = b;
            if (llx == 0.0 && urx == 0.0) rect_from_points(&o->mbr, &a, &b);
            return true;
        }
        case MAPOBJ_ARC: {
            int16_t start = 0, end = 0;
            if (!(d->in.seek(33) && d->in.i16(&start) && d->in.i16(&end))) return false;
            o->u.arc.start = start;
            o->u.arc.end = end;
            o->u.arc.rect = r;
            take_line_pen(o, s);
            return true;
        }
        case MAPOBJ_POLYLINE:
        case MAPOBJ_REGION: return read_poly(d, o, false);
        case MAPOBJ_TEXT: return read_classic_text(d, o, text_flag);
        case MAPOBJ_RECT:
        case MAPOBJ_ELLIPSE: take_area_styles(o, s); return true;
        default: return false;
    }
}

}  // namespace

int16_t blob_to_object(const uint8_t* record, int32_t length, const ObjStyleSet* styles,
                       const CoordXform* xf, MapObject* o, int16_t text_flag) {
    if (!record || length < 1) return 0;
    Decode d{In{record, length, 0, xf}, styles};
    if (record[0] != 0) return read_classic(&d, o, text_flag) ? 1 : 0;
    if (length < 34 || record[33] != CVREC_EXTENDED_VERSION) {
        mapobj_set_type(o, 0);
        return 1;
    }
    uint16_t type = 0;
    if (!(d.in.seek(42) && d.in.u16(&type) && d.in.seek(kExtendedBody))) return 0;
    mapobj_set_type(o, type);
    return read_extended_body(&d, o, type) ? 1 : 0;
}

int16_t blob_ext_encode(MapObject*, const CoordXform*, uint8_t**, int32_t*) { return 1; }
int16_t blob_ext_decode(const uint8_t*, int32_t, MapObject*) { return 1; }
int16_t blob_ext_hook3() { return 1; }
int16_t blob_ext_hook4() { return 1; }
