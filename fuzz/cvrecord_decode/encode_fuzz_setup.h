// Set-up shared by the encoder fuzz targets: the map-object runtime and a
// non-earth transform whose integers equal its coordinates, made once.
#pragma once

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"

inline const CoordXform* encode_fuzz_xform() {
    static const CoordXform xf = [] {
        CoordXform x{};
        mapobj_runtime_start();
        coordsys_parse_text(&x,
                            "CoordSys NonEarth Units \"m\" Bounds (-1000000000, -1000000000) "
                            "(1000000000, 1000000000)",
                            1);
        return x;
    }();
    return &xf;
}
