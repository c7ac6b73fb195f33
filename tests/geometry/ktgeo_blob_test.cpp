// Blob buffer and byte codecs: little-endian layouts, writer growth and
// length word, reader bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "blob_test_util.h"

using geotest::Bytes;
using geotest::FailRecorder;
using geotest::StdoutCapture;
using geotest::ToHex;

TEST(blob_codec, ScalarsAreLittleEndian) {
    struct Case {
        const char* what;
        std::function<uint8_t*(uint8_t*)> put;
        const char* hex;
    };
    const Case cases[] = {
        {"uc1", [](uint8_t* d) { return byte_put_uc1(d, 0xAB); }, "ab"},
        {"i2 -2", [](uint8_t* d) { return byte_put_i2(d, -2); }, "feff"},
        {"ui2", [](uint8_t* d) { return byte_put_ui2(d, 0x1234); }, "3412"},
        {"i4 -1", [](uint8_t* d) { return byte_put_i4(d, -1); }, "ffffffff"},
        {"ui4", [](uint8_t* d) { return byte_put_ui4(d, 0x01020304u); }, "04030201"},
        {"f4 1.0", [](uint8_t* d) { return byte_put_f4(d, 1.0f); }, "0000803f"},
        {"f8 1.0", [](uint8_t* d) { return byte_put_f8(d, 1.0); }, "000000000000f03f"},
        {"f8 -2.5", [](uint8_t* d) { return byte_put_f8(d, -2.5); }, "00000000000004c0"},
        {"c4", [](uint8_t* d) { return byte_put_c4(d, "KT02"); }, "4b543032"},
        {"bytes", [](uint8_t* d) { return byte_put_bytes(d, "\x01\x02\x03", 3); }, "010203"},
    };
    for (const Case& c : cases) {
        uint8_t buf[16] = {};
        const uint8_t* end = c.put(buf);
        EXPECT_EQ(ToHex(buf, static_cast<size_t>(end - buf)), c.hex) << c.what;
    }
    const Bytes b = geotest::FromHex("feff04030201000000000000f03f0000803f");
    int16_t i2;
    uint32_t u4;
    double d;
    float f;
    const uint8_t* p = byte_get_i2(b.data(), &i2);
    p = byte_get_ui4(p, &u4);
    p = byte_get_f8(p, &d);
    p = byte_get_f4(p, &f);
    EXPECT_EQ(i2, -2);
    EXPECT_EQ(u4, 0x01020304u);
    EXPECT_EQ(d, 1.0);
    EXPECT_EQ(f, 1.0f);
    EXPECT_EQ(p, b.data() + b.size());
}

TEST(blob_buffer, GrowthKeepsTheBytesWritten) {
    BlobBuffer w;
    ASSERT_EQ(ktgeo_blob_init(&w, 512), 1);
    for (uint32_t i = 0; i < 510; ++i) {
        const uint8_t b = static_cast<uint8_t>(i * 7);
        ASSERT_EQ(ktgeo_blob_write_uc1(&w, &b), 1);
    }
    const double v = 3.5;
    ASSERT_EQ(ktgeo_blob_write_f8(&w, &v), 1);
    EXPECT_GE(w.capacity, 518u + 128u);
    EXPECT_EQ(w.used, 518u);
    for (uint32_t i = 0; i < 510; ++i) ASSERT_EQ(w.base[i], static_cast<uint8_t>(i * 7)) << i;
    double back;
    byte_get_f8(w.base + 510, &back);
    EXPECT_EQ(back, 3.5);
    // A megabyte written a byte at a time takes few reallocations.
    const uint64_t before = qd_alloc_state.calls;
    for (int i = 0; i < (1 << 20); ++i) ktgeo_blob_write_uc1(&w, reinterpret_cast<const uint8_t*>("z"));
    EXPECT_LT(qd_alloc_state.calls - before, 20u);
    ktgeo_blob_free(&w);
    EXPECT_EQ(w.base, nullptr);
}

TEST(blob_buffer, LengthWordAfterRawAppendAndDetach) {
    BlobBuffer w;
    ASSERT_EQ(ktgeo_blob_init(&w, 8), 1);
    const uint32_t placeholder = 0xDEADBEEF;
    ktgeo_blob_write_ui4(&w, &placeholder);
    const uint8_t twenty[20] = {1, 2, 3};
    ASSERT_EQ(ktgeo_blob_write_bytes(&w, twenty, 20), 1);
    EXPECT_EQ(blob_length(w.base), 24u) << "current before detaching";
    uint8_t* block = ktgeo_blob_detach(&w);
    EXPECT_EQ(ToHex(block, 4), "18000000");
    EXPECT_EQ(w.base, nullptr);
    EXPECT_EQ(w.capacity, 0u);
    qd_free(block);
}

TEST(blob_buffer, ReaderRefusesReadsPastTheRecordedLength) {
    // Length 12: tag, one 4-byte value, nothing more.
    const Bytes s = geotest::FromHex("0c0000004b543032070000009999");
    BlobBuffer r;
    ktgeo_blob_open(&r, s.data());
    EXPECT_EQ(r.used, 12u);
    EXPECT_EQ(ktgeo_blob_tell(&r), 4u);
    char tag[4];
    uint32_t v;
    uint8_t b;
    EXPECT_EQ(ktgeo_blob_read_c4(&r, tag), 1);
    EXPECT_EQ(std::memcmp(tag, "KT02", 4), 0);
    EXPECT_EQ(ktgeo_blob_read_ui4(&r, &v), 1);
    EXPECT_EQ(v, 7u);
    EXPECT_EQ(ktgeo_blob_read_uc1(&r, &b), 0);
    EXPECT_EQ(ktgeo_blob_at_end(&r), 1);

    // 7 bytes left: a double is refused, the cursor stays, a u32 still reads.
    const Bytes t = geotest::FromHex("0b000000010203040506ff");
    ktgeo_blob_open(&r, t.data());
    double d;
    EXPECT_EQ(ktgeo_blob_read_f8(&r, &d), 0);
    EXPECT_EQ(ktgeo_blob_tell(&r), 4u);
    EXPECT_EQ(ktgeo_blob_read_ui4(&r, &v), 1);
    EXPECT_EQ(v, 0x04030201u);
    EXPECT_EQ(ktgeo_blob_left(&r), 3u);

    EXPECT_EQ(ktgeo_blob_seek(&r, 11), 1);
    EXPECT_EQ(ktgeo_blob_at_end(&r), 1);
    EXPECT_EQ(ktgeo_blob_seek(&r, 12), 0);
    EXPECT_EQ(ktgeo_blob_tell(&r), 11u);

    ASSERT_EQ(ktgeo_blob_seek(&r, 8), 1);
    uint8_t* rest = nullptr;
    uint32_t n = 0;
    ASSERT_EQ(ktgeo_blob_read_rest(&r, &rest, &n), 1);
    EXPECT_EQ(ToHex(rest, n), "0506ff");
    EXPECT_EQ(ktgeo_blob_at_end(&r), 1);
    qd_free(rest);
}

TEST(blob_buffer, LengthWordBelowTheHeaderLeavesNothingToRead) {
    const Bytes s = geotest::FromHex("02000000");
    BlobBuffer r;
    ktgeo_blob_open(&r, s.data());
    uint8_t b;
    EXPECT_EQ(ktgeo_blob_read_uc1(&r, &b), 0);
    EXPECT_EQ(ktgeo_blob_left(&r), 0u);
    uint8_t* rest = nullptr;
    uint32_t n = 99;
    ASSERT_EQ(ktgeo_blob_read_rest(&r, &rest, &n), 1);
    EXPECT_EQ(n, 0u);
    qd_free(rest);
}

TEST(blob_buffer, FailedGrowthIsReportedAndKeepsTheBuffer) {
    FailRecorder rec;
    StdoutCapture out;
    BlobBuffer w;
    ASSERT_EQ(ktgeo_blob_init(&w, 8), 1);
    const double v = 1.0;
    ktgeo_blob_write_f8(&w, &v);
    qd_alloc_fail_nth(1);
    EXPECT_EQ(ktgeo_blob_write_f8(&w, &v), 0);
    qd_alloc_fail_nth(0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>{"UKT_0"});
    EXPECT_EQ(w.used, 8u);
    EXPECT_EQ(w.capacity, 8u);
    // A reservation past 4 GiB is refused before any allocation.
    rec.Clear();
    EXPECT_EQ(ktgeo_blob_reserve(&w, 0xFFFFFFFFu), 0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>{"UKT_0"});
    ktgeo_blob_free(&w);
}
