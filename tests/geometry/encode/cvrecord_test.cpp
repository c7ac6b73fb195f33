// The compact object record: our records against the golden records
// written from the layouts, sizes, the null record, decoding with the
// style set, and refusal of short or inconsistent records.
#include <cstring>
#include <functional>

#include "encode_test_util.h"

using enctest::Obj;
using geotest::Bytes;
using geotest::Golden;
using geotest::ToHex;

namespace {


using cvrecord = enctest::Runtime;

void Text5(Obj& o) {
    mapobj_set_type(o.p, MAPOBJ_TEXT);
    ASSERT_EQ(objtext_set_string(o.p, "Hello"), 1);
    MapTextPart& t = o->u.text;
    t.angle = 450;
    t.height = 10;
    t.box = IntRect{0, 0, 50, 10};
    t.label_end = IntPoint{25, 5};
    t.flags = 0;
    t.font = FontStyle{};
    t.font.style_bits = 1;
    t.font.fore = 0x0000ff;
    t.font.back = 0xffffff;
    std::strcpy(t.font.name, "Arial");
    t.font.size = 10;
    o->pen = PenStyle{1, 2, 0, 0xff0000};
    o->mbr = t.box;
}

}  // namespace

TEST_F(cvrecord, EncoderGivesTheGoldenRecords) {
    struct Case {
        const char* golden;
        std::function<void(Obj&)> build;
    };
    const IntPoint centre{2, 1};
    const Case cases[] = {
        {"cvrec_point", [](Obj& o) { enctest::Point(o, 3, 4); }},
        {"cvrec_line", [](Obj& o) { enctest::Line(o, {0, 0}, {4, 2}); }},
        {"cvrec_rect", [](Obj& o) { enctest::Rect(o, MAPOBJ_RECT, {0, 0, 4, 2}); }},
        {"cvrec_ellipse", [](Obj& o) { enctest::Rect(o, MAPOBJ_ELLIPSE, {0, 0, 4, 2}); }},
        {"cvrec_arc",
         [](Obj& o) {
             mapobj_set_type(o.p, MAPOBJ_ARC);
             o->u.arc.rect = IntRect{0, 0, 4, 2};
             o->u.arc.start = 100;
             o->u.arc.end = 900;
             o->mbr = IntRect{1, 1, 3, 2};  // not written: the ellipse rectangle is
         }},
        {"cvrec_region_abca",
         [&](Obj& o) { enctest::Poly(o, MAPOBJ_REGION, {{0, {{0, 0}, {4, 0}, {4, 3}}}}, &centre); }},
        {"cvrec_text5", Text5},
    };
    for (const Case& c : cases) {
        Obj o;
        c.build(o);
        const enctest::Encoded e = enctest::Record(o.p, ne);
        EXPECT_EQ(e.result, 1) << c.golden;
        EXPECT_EQ(ToHex(e.bytes), ToHex(Golden(c.golden))) << c.golden;
        EXPECT_GE(e.bound, static_cast<int32_t>(e.bytes.size())) << c.golden;
    }
    EXPECT_EQ(Golden("cvrec_point").size(), 54u);
    EXPECT_EQ(Golden("cvrec_text5").size(), 160u);
}

TEST_F(cvrecord, NullRecordsAndMendedCases) {
    {
        Obj none;
        const enctest::Encoded e = enctest::Record(none.p, ne);
        EXPECT_EQ(ToHex(e.bytes), "00");
        EXPECT_EQ(e.result, 1);
        Obj back(MAPOBJ_POINT);
        EXPECT_EQ(blob_to_object(e.bytes.data(), 1, &g_default_style_set, &ne, back.p, 1), 1);
        EXPECT_EQ(back->type, 0);
    }
    {
        Obj rr;
        enctest::Rect(rr, MAPOBJ_ROUNDRECT, {0, 0, 4, 2});
        const enctest::Encoded e = enctest::Record(rr.p, ne);
        EXPECT_EQ(ToHex(e.bytes), "00");
        EXPECT_EQ(e.result, 0);
    }
    {
        // A polyline with Z keeps its two-dimensional record.
        Obj plain, with_z;
        enctest::Poly(plain, MAPOBJ_POLYLINE, {{0, {{0, 0}, {4, 2}, {5, 5}}}});
        enctest::Poly(with_z, MAPOBJ_POLYLINE, {{0, {{0, 0}, {4, 2}, {5, 5}}}});
        ASSERT_EQ(mapobjx_set_zm(with_z.p, 1, 0), 1);
        const enctest::Encoded a = enctest::Record(plain.p, ne), b = enctest::Record(with_z.p, ne);
        EXPECT_EQ(b.result, 1);
        EXPECT_EQ(ToHex(b.bytes), ToHex(a.bytes));
        EXPECT_EQ(b.bytes[0], MAPOBJ_POLYLINE);
    }
    {
        // A polyline without sections: the size covers its 72 bytes.
        Obj empty;
        mapobj_set_type(empty.p, MAPOBJ_POLYLINE);
        const enctest::Encoded e = enctest::Record(empty.p, ne);
        EXPECT_EQ(e.bytes.size(), 72u);
        EXPECT_GE(e.bound, 72);
    }
}

TEST_F(cvrecord, GoldenRecordsDecodeAndEncodeAgain) {
    for (const char* name : {"cvrec_point", "cvrec_line", "cvrec_rect", "cvrec_ellipse", "cvrec_arc",
                             "cvrec_region_abca", "cvrec_text5", "cvrec_collection_region"}) {
        const Bytes rec = Golden(name);
        Obj o;
        ASSERT_EQ(blob_to_object(rec.data(), static_cast<int32_t>(rec.size()), &g_default_style_set,
                                 &ne, o.p, 1),
                  1)
            << name;
        Bytes again = enctest::Record(o.p, ne).bytes;
        Bytes want = rec;
        if (rec[0] == MAPOBJ_REGION) {
            // The classic centre is not read back: it is computed again.
            std::memset(again.data() + 37, 0, 16);
            std::memset(want.data() + 37, 0, 16);
        }
        EXPECT_EQ(ToHex(again), ToHex(want)) << name;
    }
}

TEST_F(cvrecord, DecodingTakesStylesFromTheSet) {
    StyleSet styles = g_default_style_set;
    styles.area_pen = PenStyle{3, 5, 0, 0x123456};
    styles.brush = BrushStyle{2, 0xabcdef, 0, 0};
    styles.line_pen = PenStyle{2, 2, 0, 0x654321};
    const Bytes ellipse = Golden("cvrec_ellipse");
    Obj o;
    ASSERT_EQ(blob_to_object(ellipse.data(), 34, &styles, &ne, o.p, 1), 1);
    EXPECT_EQ(o->type, MAPOBJ_ELLIPSE);
    EXPECT_EQ(o->pen.colour, 0x123456u);
    EXPECT_EQ(o->brush.fore, 0xabcdefu);
    EXPECT_EQ(o->mbr.x2, 4);
    const Bytes arc = Golden("cvrec_arc");
    Obj a;
    ASSERT_EQ(blob_to_object(arc.data(), 38, &styles, &ne, a.p, 1), 1);
    EXPECT_EQ(a->u.arc.start, 100);
    EXPECT_EQ(a->u.arc.end, 900);
    EXPECT_EQ(a->u.arc.rect.y2, 2);
    EXPECT_EQ(a->pen.colour, 0x654321u);

    // A classic line whose llx and urx are 0 gets the box of its ends.
    Bytes line = Golden("cvrec_line");
    std::memset(line.data() + 1, 0, 32);
    Obj l;
    ASSERT_EQ(blob_to_object(line.data(), 70, &styles, &ne, l.p, 1), 1);
    EXPECT_EQ(l->mbr.x2, 4);
    EXPECT_EQ(l->mbr.y2, 2);

    // Text: the set's font size, the record's font colours and name.
    const Bytes text = Golden("cvrec_text5");
    Obj t;
    ASSERT_EQ(blob_to_object(text.data(), 160, &styles, &ne, t.p, 1), 1);
    EXPECT_EQ(t->u.text.length, 5);
    EXPECT_EQ(std::string(t->u.text.font.name), "Arial");
    EXPECT_EQ(t->u.text.font.fore, 0x0000ffu);
    EXPECT_EQ(t->u.text.font.size, styles.font.size);
    EXPECT_EQ(t->u.text.angle, 450);
    EXPECT_EQ(t->u.text.height, 10);
}

// A classic text record (the form the encoder no longer writes).
Bytes ClassicText(const std::string& text, int16_t angle) {
    Bytes r(120 + text.size(), 0);
    r[0] = MAPOBJ_TEXT;
    byte_put_i2(r.data() + 33, angle);
    byte_put_f8(r.data() + 45, 10.0);
    byte_put_i2(r.data() + 69, static_cast<int16_t>(text.size()));
    std::memcpy(r.data() + 118, text.data(), text.size());
    return r;
}

TEST_F(cvrecord, ClassicTextRecords) {
    const Bytes five = ClassicText("Hello", 300);
    Obj without;
    ASSERT_EQ(blob_to_object(five.data(), static_cast<int32_t>(five.size()), &g_default_style_set,
                             &ne, without.p, 0),
              1);
    EXPECT_EQ(without->u.text.length, 0) << "text flag 0: no string";
    EXPECT_EQ(without->u.text.angle, 300);
    const Bytes long_text = ClassicText(std::string(300, 'x'), 300);
    Obj with;
    ASSERT_EQ(blob_to_object(long_text.data(), static_cast<int32_t>(long_text.size()),
                             &g_default_style_set, &ne, with.p, 1),
              1);
    EXPECT_EQ(with->u.text.length, 300);
    EXPECT_EQ(with->u.text.angle, 0) << "texts beyond 255 characters lose their angle";
}

TEST_F(cvrecord, ShortOrInconsistentRecordsAreRefused) {
    // Every prefix of every record is refused or read within its length.
    for (const char* name : {"cvrec_point", "cvrec_line", "cvrec_arc", "cvrec_region_abca",
                             "cvrec_text5", "cvrec_collection_region"}) {
        const Bytes rec = Golden(name);
        for (size_t n = 1; n < rec.size() - 1; ++n) {
            std::vector<uint8_t> cut(rec.begin(), rec.begin() + static_cast<long>(n));
            Obj o;
            const int16_t r = blob_to_object(cut.data(), static_cast<int32_t>(n),
                                             &g_default_style_set, &ne, o.p, 1);
            if (rec[0] != 0 || n >= 34) {
                EXPECT_EQ(r, 0) << name << " cut to " << n;
            }
        }
    }
    struct Case {
        const char* what;
        std::function<void(Bytes&)> spoil;
    };
    const Case cases[] = {
        {"negative section count", [](Bytes& r) { byte_put_i2(r.data() + 69, -1); }},
        {"negative node count", [](Bytes& r) { byte_put_i2(r.data() + 71, -4); }},
        {"node count past the end", [](Bytes& r) { byte_put_i2(r.data() + 71, 5); }},
        {"holes running past the sections", [](Bytes& r) { byte_put_i2(r.data() + 73, 1); }},
        {"two sections announced, one stored", [](Bytes& r) { byte_put_i2(r.data() + 69, 2); }},
    };
    for (const Case& c : cases) {
        Bytes rec = Golden("cvrec_region_abca");
        c.spoil(rec);
        Obj o;
        EXPECT_EQ(blob_to_object(rec.data(), static_cast<int32_t>(rec.size()), &g_default_style_set,
                                 &ne, o.p, 1),
                  0)
            << c.what;
    }
    // A count of 0 is valid.
    Bytes zero = Golden("cvrec_region_abca");
    byte_put_i2(zero.data() + 69, 0);
    Obj o;
    EXPECT_EQ(blob_to_object(zero.data(), static_cast<int32_t>(zero.size()), &g_default_style_set,
                             &ne, o.p, 1),
              1);
    EXPECT_EQ(o->u.poly.sections, 0);
}
