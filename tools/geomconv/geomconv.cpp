// geomconv FROM TO [COORDSYS] [--short]: converts one value a line from
// stdin into one result a line on stdout. The library's own printing goes
// to stderr; the exit status is 1 when any line failed.
//
// Forms:
//   blob    a geometry blob in hex, read through the sized entry
//   record  a compact object record in hex
//   sdo     "gtype,dims,px,py;elements;ordinates" (numbers in their
//           shortest round-trip form)
//   wkt     OGC well-known text
//   wkb     OGC well-known binary in hex (csid 0)
//   cv      the geometry library's compact object record in hex
// `blob blob` repacks a blob; pairs of blob, wkt, wkb and cv go through a
// geometry object. The other pairs go through a map object in
// the integer space of COORDSYS (a CoordSys clause; default a non-earth
// system whose integers equal its coordinates), see geomconv_objects.cpp.
//
// A failed line prints "!" followed by each report of the geometry library
// (its code and values) and each kernel error code.
//
// A development tool built with the tests; never installed.
#include "geomconv.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "geometry/ktgeo_blob.h"
#include "geometry/ktgeo_cv.h"
#include "geometry/ktgeo_ogc.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"

namespace geomconv {

std::vector<std::string> reports;

bool from_hex(const std::string& s, Bytes* out) {
    out->clear();
    std::string hex;
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r') hex += c;
    if (hex.size() % 2) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned v = 0;
        const auto r = std::from_chars(hex.data() + i, hex.data() + i + 2, v, 16);
        if (r.ec != std::errc() || r.ptr != hex.data() + i + 2) return false;
        out->push_back(static_cast<uint8_t>(v));
    }
    return true;
}

std::string to_hex(const uint8_t* p, size_t n) {
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kHex[p[i] >> 4];
        s += kHex[p[i] & 15];
    }
    return s;
}

}  // namespace geomconv

namespace {

using geomconv::reports;

const char* const kNonEarth =
    "CoordSys NonEarth Units \"m\" Bounds (-1000000000, -1000000000) (1000000000, 1000000000)";

void record_report(const char* code, const QdFailPair* pairs, int count, void*) {
    if (code[0] == '0' && code[1] == '1') return;  // warnings print nothing
    std::string text = code;
    for (int i = 0; i < count; ++i) {
        const char* pct = std::strchr(pairs[i].key, '%');
        text += ' ';
        if (pct && pct[1] == 's') text += pairs[i].value.s ? pairs[i].value.s : "(null)";
        else if (pct && (pct[1] == 'd' || pct[1] == 'i')) text += std::to_string(pairs[i].value.i);
        else text += '?';
    }
    reports.push_back(text);
}

// blob -> blob: read through the sized entry, pack again.
bool blob_to_blob(const std::string& line, std::string* out) {
    geomconv::Bytes in;
    if (!geomconv::from_hex(line, &in)) {
        reports.push_back("not hex");
        return false;
    }
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    bool ok = ktgeo_unpack_geometry_sized(in.data(), static_cast<uint32_t>(in.size()), &so) == 1;
    if (ok) {
        uint8_t* blob = ktgeo_pack_geometry(&so);
        ok = blob != nullptr;
        if (ok) *out = geomconv::to_hex(blob, blob_length(blob));
        qd_free(blob);
    }
    ktgeo_so_release(&so);
    return ok;
}

bool is_object_form(const std::string& form) {
    return form == "blob" || form == "wkt" || form == "wkb" || form == "cv";
}

std::string object_from, object_to;

// One line of a geometry-object form into an object; false after a failure.
bool read_object(const std::string& line, SpatialObject* so) {
    if (object_from == "wkt") return ktgeo_ogc_input_wkt_v1(line.c_str(), so) == 1;
    geomconv::Bytes in;
    if (!geomconv::from_hex(line, &in)) {
        reports.push_back("not hex");
        return false;
    }
    const uint32_t n = static_cast<uint32_t>(in.size());
    if (object_from == "wkb") return ktgeo_ogc_cast_to_geometry(so, in.data(), n, 0) == 1;
    if (object_from == "cv") return cvtran_cast_to_geometry(so, in.data(), n, 0) == 1;
    return ktgeo_unpack_geometry_sized(in.data(), n, so) == 1;
}

bool write_object(SpatialObject* so, std::string* out) {
    uint8_t* bytes = nullptr;
    uint32_t length = 0, csid = 0;
    bool ok = false;
    if (object_to == "wkt") {
        char* text = ktgeo_ogc_output_wkt_v1(so);
        ok = text != nullptr;
        if (ok) *out = text;
        qd_free(text);
        return ok;
    }
    if (object_to == "wkb") {
        ok = ktgeo_ogc_cast_from_geometry(so, &bytes, &length, &csid) == 1;
    } else if (object_to == "cv") {
        ok = cvtran_cast_from_geometry(so, &bytes, &length, &csid) == 1;
    } else {
        bytes = ktgeo_pack_geometry(so);
        ok = bytes != nullptr;
        if (ok) length = blob_length(bytes);
    }
    if (ok) *out = geomconv::to_hex(bytes, length);
    qd_free(bytes);
    return ok;
}

bool object_to_object(const std::string& line, std::string* out) {
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    const bool ok = read_object(line, &so) && write_object(&so, out);
    ktgeo_so_release(&so);
    return ok;
}

int usage() {
    std::fprintf(stderr, "usage: geomconv FROM TO [COORDSYS] [--short]   (forms: blob record sdo wkt wkb cv)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string from = argv[1], to = argv[2];
    std::string clause = kNonEarth;
    bool short_codes = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0) short_codes = true;
        else clause = argv[i];
    }
    geomconv::Line convert = nullptr;
    if (from == "blob" && to == "blob") {
        convert = blob_to_blob;
    } else if (is_object_form(from) && is_object_form(to)) {
        object_from = from;
        object_to = to;
        convert = object_to_object;
    } else {
        std::string error;
        convert = geomconv::object_conversion(from, to, clause, short_codes, &error);
        if (!convert) {
            if (!error.empty()) std::fprintf(stderr, "geomconv: %s\n", error.c_str());
            return usage();
        }
    }

    // Results go to the real stdout; the library's printing to stderr.
    std::fflush(stdout);
    FILE* results = fdopen(dup(fileno(stdout)), "w");
    dup2(fileno(stderr), fileno(stdout));
    qd_fail_state.recorder = record_report;

    int status = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        reports.clear();
        std::string out;
        if (convert(line, &out)) {
            std::fprintf(results, "%s\n", out.c_str());
            continue;
        }
        status = 1;
        std::string text = "!";
        for (const std::string& r : reports) text += " " + r;
        std::fprintf(results, "%s\n", text.c_str());
    }
    std::fclose(results);
    if (convert != blob_to_blob && convert != object_to_object) geomconv::object_conversion_end();
    return status;
}
