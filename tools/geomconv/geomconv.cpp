// geomconv FROM TO: converts one value a line from stdin into one result a
// line on stdout. Forms: `blob` (a geometry blob in hex, read through the
// sized entry). A line that fails prints "!" followed by each report of the
// geometry library (its code and values); the exit status is 1 when any
// line failed. The library's own printing goes to stderr.
//
// A development tool built with the tests; never installed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "geometry/ktgeo_blob.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Reports of the current line, as "CODE value value".
std::vector<std::string> g_reports;

void record(const char* code, const QdFailPair* pairs, int count, void*) {
    if (code[0] == '0' && code[1] == '1') return;  // warnings print nothing
    std::string text = code;
    for (int i = 0; i < count; ++i) {
        const char* key = pairs[i].key;
        const char* pct = std::strchr(key, '%');
        text += ' ';
        if (pct && pct[1] == 's') text += pairs[i].value.s ? pairs[i].value.s : "(null)";
        else if (pct && (pct[1] == 'd' || pct[1] == 'i')) text += std::to_string(pairs[i].value.i);
        else text += '?';
    }
    g_reports.push_back(text);
}

bool from_hex(const std::string& s, Bytes* out) {
    out->clear();
    std::string hex;
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r') hex += c;
    if (hex.size() % 2) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int v = 0;
        for (int k = 0; k < 2; ++k) {
            const char c = hex[i + k];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0) return false;
            v = v * 16 + d;
        }
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

// blob -> blob: read through the sized entry, pack again.
bool blob_to_blob(const std::string& line, std::string* out) {
    Bytes in;
    if (!from_hex(line, &in)) {
        g_reports.push_back("not hex");
        return false;
    }
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    bool ok = ktgeo_unpack_geometry_sized(in.data(), static_cast<uint32_t>(in.size()), &so) == 1;
    if (ok) {
        uint8_t* blob = ktgeo_pack_geometry(&so);
        ok = blob != nullptr;
        if (ok) *out = to_hex(blob, blob_length(blob));
        qd_free(blob);
    }
    ktgeo_so_release(&so);
    return ok;
}

int usage() {
    std::fprintf(stderr, "usage: geomconv FROM TO   (forms: blob)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string from = argv[1], to = argv[2];
    bool (*convert)(const std::string&, std::string*) = nullptr;
    if (from == "blob" && to == "blob") convert = blob_to_blob;
    if (!convert) return usage();

    // Results go to the real stdout; the library's printing to stderr.
    std::fflush(stdout);
    FILE* results = fdopen(dup(fileno(stdout)), "w");
    dup2(fileno(stderr), fileno(stdout));
    qd_fail_state.recorder = record;

    int status = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        g_reports.clear();
        std::string out;
        if (convert(line, &out)) {
            std::fprintf(results, "%s\n", out.c_str());
            continue;
        }
        status = 1;
        std::string text = "!";
        for (const std::string& r : g_reports) text += " " + r;
        std::fprintf(results, "%s\n", text.c_str());
    }
    std::fclose(results);
    return status;
}
