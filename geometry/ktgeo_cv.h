// Geometry objects to and from the compact object record that "CV00" and
// "CV01" blobs wrap.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

// Builds the object from a record of `length` bytes; on success its csid is
// `csid`. 1 or 0.
int cvtran_cast_to_geometry(SpatialObject* object, const uint8_t* record, uint32_t length,
                            uint32_t csid);
// Writes a new record (qd_free) of the object, its length and the object's
// csid. 1, or 0 (or the failing result of the envelope computation).
int cvtran_cast_from_geometry(SpatialObject* object, uint8_t** record, uint32_t* length,
                              uint32_t* csid);
