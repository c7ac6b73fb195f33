// Geometry objects to and from the compact object record that "CV00" and
// "CV01" blobs wrap: the record reader and writer, records of any blob,
// record envelopes and a diagnostic print. Records are bytes through the
// bounded codecs below; every failure is reported once.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

// Bounded byte codecs: a decoder reads at the cursor and returns the
// cursor after the value, an encoder writes and returns the cursor after
// it. A null end sets no bound; a null cursor passes through. A value past
// the end is reported ("TOO BIG"): decoders zero the value and return null,
// encoders return the end.
const uint8_t* cvtran_decode_uc1(uint8_t* value, const uint8_t* cursor, const uint8_t* end);
const uint8_t* cvtran_decode_i2(int16_t* value, const uint8_t* cursor, const uint8_t* end);
const uint8_t* cvtran_decode_ui2(uint16_t* value, const uint8_t* cursor, const uint8_t* end);
const uint8_t* cvtran_decode_i4(int32_t* value, const uint8_t* cursor, const uint8_t* end);
const uint8_t* cvtran_decode_f8(double* value, const uint8_t* cursor, const uint8_t* end);
uint8_t* cvtran_encode_uc1(uint8_t value, uint8_t* cursor, uint8_t* end);
uint8_t* cvtran_encode_i2(int16_t value, uint8_t* cursor, uint8_t* end);
uint8_t* cvtran_encode_ui2(uint16_t value, uint8_t* cursor, uint8_t* end);
uint8_t* cvtran_encode_i4(int32_t value, uint8_t* cursor, uint8_t* end);
uint8_t* cvtran_encode_f8(double value, uint8_t* cursor, uint8_t* end);

// Builds the object from a record of `length` bytes; on success its csid is
// `csid`. 1 or 0 (the object then holds no primitives).
int cvtran_cast_to_geometry(SpatialObject* object, const uint8_t* record, uint32_t length,
                            uint32_t csid);
// Writes a new record (qd_free) of the object, its length and the object's
// csid. 1, or 0 (or the failing result of the envelope computation).
int cvtran_cast_from_geometry(SpatialObject* object, uint8_t** record, uint32_t* length,
                              uint32_t* csid);
// The record of any geometry blob (the id out set for "CV01" and for
// unpacked objects). 1 or 0.
int cvtran_cast_from_blob(const uint8_t* blob, uint8_t** record, uint32_t* length,
                          uint32_t* csid);
// The record of a "CV00"/"CV01" blob copied into a new block; 1 or 0.
int cvtran_get_bulk(const uint8_t* blob, uint8_t** record, uint32_t* length);
// A text record of a "CV00"/"CV01" blob (*is_text 1), or 1 with *is_text 0.
int cvtran_text_record_from_blob(const uint8_t* blob, uint8_t** record, uint32_t* length,
                                 uint32_t* csid, int* is_text);
int cvtran_is_null(const uint8_t* record, uint32_t length);
// The rectangle of a "CV00"/"CV01" blob's record (no Z); 0 when none.
int cvtran_blob_envelope(const uint8_t* blob, GeoCoord envelope[2]);
int cvtran_quick_check(const SpatialObject* object);
void cvtran_dump(const uint8_t* blob);
void cvtran_dump_bulk(const uint8_t* record, uint32_t length);
