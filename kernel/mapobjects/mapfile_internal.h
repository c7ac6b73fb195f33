// Routines the map-file modules share among themselves.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapfile.h"

int16_t maprec_check(const MapFile* mf, const MapObject* obj, int code, const IntPoint* centre);
int16_t maprec_encode(MapFile* mf, const MapObject* obj, int code, uint8_t* record, int32_t data_pos,
                      const IntPoint* centre, int16_t count_uses);
// Appends the object's chain data to the coordinate block (used bytes in
// *used); the data position goes to data_pos. The block is left unwritten.
int16_t mapcoord_write(MapFile* mf, const MapObject* obj, int code, MapBlock* coord, int32_t* used,
                       int32_t* data_pos);
