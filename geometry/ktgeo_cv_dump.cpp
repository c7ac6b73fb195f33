// Diagnostic print of compact object records through the trace (level 10;
// a hex listing first from level 42).
#include <cctype>
#include <cstdio>
#include <string>

#include "geometry/ktgeo_cv.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"
#include "ktgeo_cv_reader.h"

namespace {

const char* const kDump = "cvtran_dump_bulk";

#define CV_LINE(...) qd_trace_printf(10, __FILE__, __LINE__, kDump, __VA_ARGS__)

const char* type_name(unsigned type) {
    static const char* const names[] = {"null", "point", "line",      "arc",    "pline",
                                        "region", "text", "rect", "roundrect", "ellipse"};
    return type < 10 ? names[type] : "*UNKNOWN*";
}

void hex_listing(const uint8_t* record, uint32_t length) {
    for (uint32_t row = 0; row < length; row += 16) {
        std::string line;
        char cell[8];
        for (uint32_t i = row; i < row + 16; ++i) {
            if (i < length) std::snprintf(cell, sizeof cell, "%02x ", record[i]);
            else std::snprintf(cell, sizeof cell, "   ");
            line += cell;
        }
        line += '*';
        for (uint32_t i = row; i < row + 16; ++i)
            line += i < length ? (std::isprint(record[i]) ? static_cast<char>(record[i]) : '.') : ' ';
        line += '*';
        qd_trace_printf(42, __FILE__, __LINE__, kDump, "%s", line.c_str());
    }
}

using Rd = cvtran_detail::CvReader;

bool rect_line(Rd& r, const char* label) {
    const double a = r.f8(), b = r.f8(), c = r.f8(), d = r.f8();
    if (!r.ok()) return false;
    CV_LINE("\t%s: (llx=%*.*f, lly=%*.*f, urx=%*.*f, ury=%*.*f)", label, 0, 10, a, 0, 10, b, 0,
            10, c, 0, 10, d);
    return true;
}

bool sections(Rd& r, bool extended, int count) {
    for (int s = 0; s < count; ++s) {
        const int n = extended ? r.i32() : r.i16();
        const int within = r.i16();
        if (!r.ok()) {
            CV_LINE("decode failed");
            return false;
        }
        CV_LINE(extended ? "\t%10d] numpoint: %d, within: %d" : "\t%5d] numpoint: %d, within: %d",
                s, n, within);
        for (int k = 0; k < n; ++k) {
            const double x = r.f8(), y = r.f8();
            if (!r.ok()) {
                CV_LINE("decode failed");
                return false;
            }
            CV_LINE(extended ? "\t\t[%10d]:  point=(%*.*f, %*.*f)" : "\t\t[%5d]:  point=(%*.*f, %*.*f)",
                    k, 0, 10, x, 0, 10, y);
        }
    }
    return true;
}

void classic(Rd& r, unsigned type) {
    CV_LINE("Type: %s (%u)", type_name(type), type);
    if (!rect_line(r, "Rect")) return;
    const int beg = r.i16(), end = r.i16();
    if (!r.ok()) return;
    if (type > 9) {
        CV_LINE("type code %u is not in the range (type < %d)", type, 10);
        return;
    }
    if (type == 3) {
        CV_LINE("\tAngles: begangle=%d, endangle=%d", beg, end);
        return;
    }
    if (type == 1 || type == 2 || type == 4 || type == 5)
        CV_LINE("\tUnused: begangle=%d, endangle=%d", beg, end);
    if (type == 1) {
        const double x = r.f8(), y = r.f8();
        if (r.ok()) CV_LINE("\tPoint:  point=(%*.*f, %*.*f)", 0, 10, x, 0, 10, y);
    } else if (type == 2) {
        const double a = r.f8(), b = r.f8(), c = r.f8(), d = r.f8();
        if (r.ok())
            CV_LINE("\tPoint:  begpoint=(%*.*f, %*.*f), endpoint=(%*.*f, %*.*f)", 0, 10, a, 0, 10,
                    b, 0, 10, c, 0, 10, d);
    } else if (type == 4 || type == 5) {
        const double cx = r.f8(), cy = r.f8(), ex = r.f8(), ey = r.f8();
        const int count = r.i16();
        if (!r.ok()) return;
        CV_LINE("\tCentroid: (%*.*f, %*.*f)", 0, 10, cx, 0, 10, cy);
        CV_LINE("\tUnused: endpoint=(%*.*f, %*.*f)", 0, 10, ex, 0, 10, ey);
        CV_LINE("\tDisjoint: %d", count);
        sections(r, false, count);
    } else if (type == 6) {
        CV_LINE("\tAngle=%d", beg);
        CV_LINE("\tUnused: endangle=%d", end);
        const double width = r.f8(), height = r.f8(), x = r.f8(), y = r.f8();
        const int chars = r.i16();
        if (!r.ok()) return;
        CV_LINE("\tUnused: width=%*.*f", 0, 10, width);
        CV_LINE("\tHeight=%*.*f", 0, 10, height);
        CV_LINE("\tPoint=(%*.*f, %*.*f)", 0, 10, x, 0, 10, y);
        CV_LINE("\tN Characters: %d", chars);
        static const char* const font[] = {"style", "extra", "forered", "foregreen",
                                           "foreblue", "backred", "backgreen", "backblue"};
        for (const char* f : font) {
            const unsigned v = r.u8();
            if (!r.ok()) return;
            CV_LINE("\tFont Pen: %s=%d", f, static_cast<int>(v));
        }
        static const char* const pen[] = {"width", "pat", "style", "red", "green", "blue"};
        for (const char* f : pen) {
            const unsigned v = r.u8();
            if (!r.ok()) return;
            CV_LINE("\tPen: %s=%d", f, static_cast<int>(v));
        }
        if (!rect_line(r, "Text Rect")) return;
        const unsigned flags = r.u8();
        if (!r.ok()) return;
        CV_LINE("\tFlags: %02x", flags);
        CV_LINE("\tString:");
        for (int i = 0; i <= chars; ++i) {
            const unsigned c = r.u8();
            if (!r.ok()) {
                CV_LINE("decode failed");
                return;
            }
            CV_LINE("\t\t[%5d]: %c (%02x)", i, std::isprint(static_cast<int>(c)) ? static_cast<int>(c) : '.', c);
        }
    }
}

void extended_body(Rd& r, unsigned type) {
    switch (type) {
        case 1: {
            const double x = r.f8(), y = r.f8();
            if (r.ok()) CV_LINE("\tPoint:  point=(%*.*f, %*.*f)", 0, 10, x, 0, 10, y);
            break;
        }
        case 2: {
            const double a = r.f8(), b = r.f8(), c = r.f8(), d = r.f8();
            if (r.ok())
                CV_LINE("\tPoint:  begpoint=(%*.*f, %*.*f), endpoint=(%*.*f, %*.*f)", 0, 10, a, 0,
                        10, b, 0, 10, c, 0, 10, d);
            break;
        }
        case 3:
            if (rect_line(r, "Rect")) {
                const int beg = r.i16(), end = r.i16();
                if (r.ok()) CV_LINE("\tAngles: begangle=%d, endangle=%d", beg, end);
            }
            break;
        case 4:
        case 5:
        case 13:
        case 14:
            if (rect_line(r, "Rect") && (type == 4 || type == 5)) {
                const double cx = r.f8(), cy = r.f8();
                const int count = r.i16();
                if (!r.ok()) break;
                CV_LINE("\tCentroid: (%*.*f, %*.*f)", 0, 10, cx, 0, 10, cy);
                CV_LINE("\tDisjoint: %d", count);
                sections(r, true, count);
            }
            break;
        case 6:
        case 7:
        case 8:
        case 9:
            if (type == 6) {
                const int angle = r.i16();
                const double height = r.f8(), x = r.f8(), y = r.f8();
                if (!r.ok()) break;
                CV_LINE("\tAngle=%d", angle);
                CV_LINE("\tHeight=%*.*f", 0, 10, height);
                CV_LINE("\tPoint=(%*.*f, %*.*f)", 0, 10, x, 0, 10, y);
                for (int i = 0; i < 14; ++i) r.u8();
                rect_line(r, "Text Rect");
            } else {
                rect_line(r, "Rect");
            }
            break;
        default: CV_LINE("type code %u is not in the range (type < %d)", type, 10); break;
    }
}

}  // namespace

void cvtran_dump_bulk(const uint8_t* record, uint32_t length) {
    if (!qd_trace_enabled(10) || !record) return;
    if (qd_trace_enabled(42)) hex_listing(record, length);
    Rd r{record, record + length};
    const unsigned type = r.u8();
    if (!r.ok()) return;
    if (type != 0) {
        classic(r, type);
        return;
    }
    if (length == 1) {
        CV_LINE("Type: null (%u)", 0u);
        return;
    }
    CV_LINE("Type: %s (%u)", "Extended Type", 0u);
    if (!rect_line(r, "Unused rect")) return;
    const unsigned version = r.u8();
    if (!r.ok()) return;
    if (version != 100) {
        CV_LINE("Extended Version: %d (*Unknown*)", static_cast<int>(version));
        return;
    }
    const int blob_size = r.i32();
    if (!r.ok()) return;
    CV_LINE("Extended Version: %d; BlobSize=%d", static_cast<int>(version), blob_size);
    if (blob_size < 5 || blob_size - 5 > r.end - r.p) return;
    const uint8_t* records_end = r.p + (blob_size - 5);
    while (r.p < records_end) {
        const uint8_t* start = r.p;
        Rd head{start, records_end};
        const int size = head.i32();
        uint16_t t = 0;
        head.p = cvtran_decode_ui2(&t, head.p, head.end);
        const unsigned rv = head.u8();
        if (!head.ok() || size < 7 || size > records_end - start) return;
        CV_LINE("Extended Record: type=%s (%u), size=%d, version=%u", type_name(t), t, size, rv);
        if (rv != 1) CV_LINE("Extended Type: Unknown Record version");
        else {
            Rd body{head.p, start + size};
            extended_body(body, t);
        }
        r.p = start + size;
    }
}

void cvtran_dump(const uint8_t* blob) {
    if (!blob) {
        qd_trace_printf(10, __FILE__, __LINE__, "cvtran_dump", "null parameter");
        return;
    }
    uint8_t* record = nullptr;
    uint32_t length = 0;
    if (!cvtran_get_bulk(blob, &record, &length)) {
        qd_trace_printf(10, __FILE__, __LINE__, "cvtran_dump", "get bulk failed");
        return;
    }
    qd_trace_printf(10, __FILE__, __LINE__, "cvtran_dump", "size: %d", static_cast<int>(length));
    cvtran_dump_bulk(record, length);
    qd_free(record);
}
