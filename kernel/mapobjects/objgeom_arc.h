// Arcs, ellipses and text geometry: the nodes of arcs and ellipses, arc end
// points, bounds and mirrored angles, angles from points and ellipse
// rectangles from quadrants, the device variants, rotated and unrotated text
// boxes, and the conversions between a text's one-line escaped form and its
// stored multi-line form.
//
// Angles are 16-bit tenths of a degree, counter-clockwise; an arc runs
// counter-clockwise from its start to its end on the ellipse inscribed in
// its rectangle. Text boxes are rotated in a 1000 x 1000 device square, where
// the display's two resolutions scale lengths across the axes. Text
// conversions step by characters, never splitting a double-byte pair, and
// never read past the given length.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"

struct CoordXform;
struct CoordConv;

// ---- arcs and ellipses -------------------------------------------------------
// Nodes of an arc or ellipse into a new kernel block; the count, 0 with a
// null output for other types, a resolution below 2 or no room.
int32_t mapobj_arc_points(const MapObject* obj, int32_t resolution, IntPoint** points_out, void** aux_out);
void mapobj_ellipse_points(const IntPoint* anchor, const IntPoint* centre, double rx, double ry, double start,
                           double step, int32_t count, IntPoint* out);
void mapobjx_arc_end_points(const IntRect* rect, int16_t start, int16_t end, IntPoint* start_out, IntPoint* end_out);
void mapobjx_arc_compute_mbr(MapObject* obj);
void mapobjx_arc_mirror_angles(int16_t* start, int16_t* end, int16_t flip_x, int16_t flip_y);
int16_t mapobjx_point_angle(double a, double b);
void mapobjx_arc_angles_from_points(const IntRect* rect, const IntPoint* p, const IntPoint* q, int16_t* start_out,
                                    int16_t* end_out, int16_t swap);
int16_t mapobjx_arc_set_points(MapObject* obj, const IntPoint* p, const IntPoint* q);
int16_t mapobjx_arc_set_points_reversed(MapObject* obj, const IntPoint* p, const IntPoint* q);
void mapobjx_ellipse_rect_from_quadrant(IntRect* out, const IntPoint* p, const IntPoint* q);

// ---- device variants ------------------------------------------------------------
// The ellipse rectangle of the quadrant p..q as the device shows it: built
// on the device images of p and q, mirrored back onto the map and ordered.
void mapobjx_arc_rect_from_device_points(IntRect* out, const IntPoint* p, const IntPoint* q, const CoordConv* conv);
int16_t mapobjx_rect_device_flipped(const IntRect* rect, const CoordConv* conv);
void mapobjx_order_points_for_device(IntPoint* p, IntPoint* q, const IntRect* rect, const CoordConv* conv);
void mapobjx_arc_device_end_points(const MapObject* arc, const CoordConv* conv, IntPoint* start_out,
                                   IntPoint* end_out);
void mapobjx_arc_angles_for_device(const MapObject* arc, const CoordConv* conv, int16_t* start_out, int16_t* end_out);
void mapobjx_arc_angles_for_device_norm(const MapObject* arc, const CoordConv* conv, int16_t* start_out,
                                        int16_t* end_out);

// ---- text --------------------------------------------------------------------
// With to_breaks, backslash-n becomes CR LF; without, CR LF becomes
// backslash-n. out holds length + 1 bytes; answers the output length.
int32_t objtext_convert_escapes(char* out, const char* text, int32_t length, int16_t to_breaks);
int32_t objtext_add_cr(char** out_ref, const char* text, int32_t length);
int32_t objtext_drop_cr(char* text);
void objtext_replace_char(char* text, char from, char to);
const char* objtext_find_char(const char* text, char ch, int32_t n);
void text_rotated_corners(const DRect* rect, int16_t angle, DPoint out[4]);
void text_rotated_bounds(DRect* rect, int16_t angle);
void objtext_rotate_box(IntRect* box, int16_t angle, const CoordXform* xform);
void objtext_unrotated_box(const MapObject* obj, const CoordXform* xform, IntRect* out);
