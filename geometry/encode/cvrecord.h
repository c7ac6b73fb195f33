// The compact object record: the byte form in which one map object goes to
// a database column and back (classic records of types 1 to 9, the extended
// record for everything larger, the one-byte null record), and the
// server layer's hooks for its own spatial storage type.
//
// Coordinates are doubles in the transform's user units. The decoder takes
// the styles a record does not carry from a style set, and checks every
// field against the record's length.
#pragma once

#include <cstdint>

#include "kernel/mapobjects/mapobj.h"

struct CoordXform;

// A map object's styles: line pen, area pen, brush, font, symbol.
using ObjStyleSet = StyleSet;

inline constexpr uint8_t CVREC_EXTENDED_VERSION = 100;

// An upper bound of the record's length (exact for text).
int16_t blob_object_size(MapObject* object, int32_t* size);
// Writes the record into a buffer of blob_object_size bytes; 1 or 0.
int16_t object_to_blob(MapObject* object, const CoordXform* xform, uint8_t* buffer,
                       int32_t* length, void* reserved);
// Decodes a record into an object initialised by the caller; 1 or 0. A text
// flag of 0 leaves a classic text record's string out.
int16_t blob_to_object(const uint8_t* record, int32_t length, const ObjStyleSet* styles,
                       const CoordXform* xform, MapObject* object, int16_t text_flag);

// Hooks of the server layer's own spatial storage type: nothing to do.
int16_t blob_ext_encode(MapObject* object, const CoordXform* xform, uint8_t** buffer,
                        int32_t* length);
int16_t blob_ext_decode(const uint8_t* record, int32_t length, MapObject* object);
int16_t blob_ext_hook3();
int16_t blob_ext_hook4();
