// geomconv's forms through a map object: `record` (object record hex) and
// `sdo`, and `blob` read or written as the upload does it. A record becomes
// a blob through the bridge and the blob writer, or for text as the record
// wrapped as "CV00"; a blob comes back through the bridge (a wrapped record
// is the object's own record). SDO arrays are written as after the table
// reader's reset, without an SRID.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "geomconv.h"
#include "geometry/encode/cvrecord.h"
#include "geometry/encode/geobridge.h"
#include "geometry/encode/sdo.h"
#include "geometry/ktgeo_blob.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/err.h"

namespace {

using geomconv::Bytes;
using geomconv::reports;

CoordXform g_xform;
bool g_short = false;

void take_kernel_errors() {
    for (int i = 0; i < g_err_stack->stored_count && i < kErrMaxEntries; ++i) {
        const ErrorEntry& e = g_err_stack->entries[i];
        if (e.code > 0 && e.severity > 1) reports.push_back(std::to_string(e.code));
    }
    err_clear();
}

std::string number(double v) {
    if (v == 0) v = 0;  // no "-0"
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// A map object owned for one line.
struct Object {
    MapHandle handle = nullptr;
    MapObject* p = nullptr;
    Object() { mapobj_new(&handle, &p, 0, 0); }
    ~Object() { mapobj_destroy(&handle); }
};

// ------------------------------------------------------------ readers

bool read_record(const std::string& line, MapObject* o) {
    Bytes rec;
    if (!geomconv::from_hex(line, &rec)) {
        reports.push_back("not hex");
        return false;
    }
    return blob_to_object(rec.data(), static_cast<int32_t>(rec.size()), &g_default_style_set,
                          &g_xform, o, 1) == 1;
}

bool read_blob_object(const std::string& line, MapObject* o) {
    Bytes in;
    if (!geomconv::from_hex(line, &in)) {
        reports.push_back("not hex");
        return false;
    }
    // A wrapped record is the object's own record.
    if (in.size() >= 8 && blob_length(in.data()) <= in.size() &&
        (std::memcmp(in.data() + 4, "CV00", 4) == 0 || std::memcmp(in.data() + 4, "CV01", 4) == 0)) {
        const size_t head = in[7] == '1' ? 12 : 8;
        const uint32_t total = blob_length(in.data());
        if (total < head) return false;
        return blob_to_object(in.data() + head, static_cast<int32_t>(total - head),
                              &g_default_style_set, &g_xform, o, 1) == 1;
    }
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    bool ok = ktgeo_unpack_geometry_sized(in.data(), static_cast<uint32_t>(in.size()), &so) == 1 &&
              geobridge_geometry_to_object(&so, &g_xform, o, 0) == 1;
    ktgeo_so_release(&so);
    return ok;
}

bool split(const std::string& s, char sep, std::vector<std::string>* out) {
    out->clear();
    std::string item;
    std::istringstream in(s);
    while (std::getline(in, item, sep)) out->push_back(item);
    if (!s.empty() && s.back() == sep) out->push_back("");
    return true;
}

template <class T>
bool numbers(const std::string& s, std::vector<T>* out) {
    out->clear();
    if (s.empty()) return true;
    std::vector<std::string> items;
    split(s, ',', &items);
    for (const std::string& item : items) {
        T v{};
        const auto r = std::from_chars(item.data(), item.data() + item.size(), v);
        if (r.ec != std::errc() || r.ptr != item.data() + item.size()) return false;
        out->push_back(v);
    }
    return true;
}

bool read_sdo(const std::string& line, MapObject* o) {
    std::vector<std::string> parts;
    split(line, ';', &parts);
    std::vector<double> head, ords;
    std::vector<int32_t> elem;
    if (parts.size() != 3 || !numbers(parts[0], &head) || head.size() != 4 ||
        !numbers(parts[1], &elem) || !numbers(parts[2], &ords)) {
        reports.push_back("not sdo");
        return false;
    }
    SdoGeometry g;
    sdo_reset(&g);
    g.gtype = static_cast<int32_t>(head[0]);
    g.dimensions = static_cast<int32_t>(head[1]);
    g.point_x = head[2];
    g.point_y = head[3];
    g.elem_count = static_cast<int32_t>(elem.size());
    g.elem = elem.data();
    g.ord_count = static_cast<int32_t>(ords.size());
    g.ords = ords.data();
    int16_t short_codes = 0;
    return sdo_to_object(&g, &g_default_style_set, &g_xform, o, &short_codes) == 1;
}

// ------------------------------------------------------------ writers

bool write_record(MapObject* o, std::string* out) {
    int32_t size = 0;
    if (!blob_object_size(o, &size)) return false;
    Bytes buffer(static_cast<size_t>(size) + 1);
    int32_t length = 0;
    if (object_to_blob(o, &g_xform, buffer.data(), &length, nullptr) != 1) return false;
    *out = geomconv::to_hex(buffer.data(), static_cast<size_t>(length));
    return true;
}

// The upload's road: the bridge and the blob writer, or for text the
// record wrapped as "CV00".
bool write_blob(MapObject* o, std::string* out) {
    uint8_t* blob = nullptr;
    if (geobridge_object_to_blob(o, &g_xform, &blob) != 1 && o->type == MAPOBJ_TEXT) {
        int32_t size = 0;
        blob_object_size(o, &size);
        Bytes buffer(static_cast<size_t>(size) + 1);
        int32_t length = 0;
        if (object_to_blob(o, &g_xform, buffer.data(), &length, nullptr) == 1)
            blob = ktgeo_pack_cv(buffer.data(), static_cast<uint32_t>(length), 0);
    }
    if (!blob) return false;
    *out = geomconv::to_hex(blob, blob_length(blob));
    qd_free(blob);
    return true;
}

bool write_sdo(MapObject* o, std::string* out) {
    SdoGeometry g;
    sdo_reset(&g);
    SdoArrays arrays{nullptr, nullptr, nullptr, &g};
    const bool ok = object_to_sdo(o, &g_xform, &arrays, g_short ? 1 : 0, 1, 0) == 1;
    if (ok) {
        std::ostringstream s;
        s << g.gtype << "," << g.dimensions << "," << number(g.point_x) << ","
          << number(g.point_y) << ";";
        for (int32_t i = 0; i < g.elem_count; ++i) s << (i ? "," : "") << g.elem[i];
        s << ";";
        for (int32_t i = 0; i < g.ord_count; ++i) s << (i ? "," : "") << number(g.ords[i]);
        *out = s.str();
    }
    sdo_free_arrays(&arrays);
    return ok;
}

using Reader = bool (*)(const std::string&, MapObject*);
using Writer = bool (*)(MapObject*, std::string*);

Reader reader_of(const std::string& form) {
    if (form == "record") return read_record;
    if (form == "blob") return read_blob_object;
    if (form == "sdo") return read_sdo;
    return nullptr;
}

Writer writer_of(const std::string& form) {
    if (form == "record") return write_record;
    if (form == "blob") return write_blob;
    if (form == "sdo") return write_sdo;
    return nullptr;
}

Reader g_read = nullptr;
Writer g_write = nullptr;

bool convert(const std::string& line, std::string* out) {
    Object o;
    const bool ok = o.p && g_read(line, o.p) && g_write(o.p, out);
    take_kernel_errors();
    return ok;
}

}  // namespace

namespace geomconv {

Line object_conversion(const std::string& from, const std::string& to, const std::string& clause,
                       bool short_codes, std::string* error) {
    g_read = reader_of(from);
    g_write = writer_of(to);
    if (!g_read || !g_write) return nullptr;
    mapobj_runtime_start();
    if (!coordsys_parse_text(&g_xform, clause.c_str(), 1)) {
        *error = "the CoordSys clause does not read";
        return nullptr;
    }
    err_clear();
    g_short = short_codes;
    return convert;
}

void object_conversion_end() { mapobj_runtime_end(); }

}  // namespace geomconv
