#!/usr/bin/env python3
"""Writes tests/geometry/golden/blobs.txt: geometry blobs and object records
built byte by byte from the documented layouts (little-endian scalars,
letters as ASCII), independently of the C++ writers. One case a line:
`name hex`; lines starting with '#' say what the case holds.

Run from the repository root: python3 tools/gen_blob_golden.py
"""
import struct
import sys

NO_Z = -1e6


def u32(v):
    return struct.pack('<I', v)


def i32(v):
    return struct.pack('<i', v)


def i16(v):
    return struct.pack('<h', v)


def f8(*v):
    return struct.pack('<%dd' % len(v), *v)


def f4(*v):
    return struct.pack('<%df' % len(v), *v)


def blob(tag, body):
    return u32(8 + len(body)) + tag.encode() + body


# ---------------------------------------------------------- version 02 items

def coord(p):
    return b'3' + f8(*p) if len(p) == 3 else b'2' + f8(*p)


def pos(p):
    return b'b' if p is None else b'c' + coord(p)


def env(mn=None, mx=None):
    if mn is None:
        return b'd'
    if len(mn) == 3:
        return b'e3' + f8(*mn) + f8(*mx)
    return b'e2' + f8(*mn) + f8(*mx)


def flag(v):
    return b't' if v else b'f'


DIR = {0: b'R', 1: b'F', 2: b'N'}


def curve(coords, ref=None, closed=0, direction=1, invalid=0, kind='L', tangent=b''):
    body = b'l' + pos(ref) + flag(closed) + DIR[direction] + flag(invalid) + kind.encode()
    body += u32(len(coords)) + b''.join(coord(c) for c in coords)
    return body + tangent


def path(curves, ref=None, closed=1, connected=1, direction=1):
    return b'h' + pos(ref) + flag(closed) + flag(connected) + DIR[direction] + b''.join(curves) + b'0'


def polygon(exterior, holes=None, label=None, valid=1):
    body = b'r' + pos(label) + flag(valid)
    if holes is None:
        return body + b'O' + exterior
    return body + b'I' + exterior + b''.join(holes) + b'0'


def kt02(primitives, csid=0, mn=None, mx=None, flg=0, centroid=None, second=None):
    return blob('KT02', u32(csid) + env(mn, mx) + flag(flg) + pos(centroid) + pos(second) +
                b''.join(primitives) + b'0')


def point(p, direction=None):
    if direction is None:
        return b'pP' + coord(p) + b'd'
    w1, w2, dx, dy = direction
    return b'pD' + coord(p) + i32(w1) + i32(w2) + f4(dx, dy) + b'd'


def square(x, y, side):
    return [(x, y), (x + side, y), (x + side, y + side), (x, y + side), (x, y)]


def ring_polygon(coords, holes=None, direction=1, label=None):
    """A polygon as the map-object bridge builds it: closed rings of one curve."""
    def ring(c):
        return path([curve(c, closed=1, direction=direction)], direction=direction)
    return polygon(ring(coords), None if holes is None else [ring(h) for h in holes], label)


# ---------------------------------------------------------- compact forms

def compact(tag, body, csid=0):
    return blob(tag, (u32(csid) if csid else b'') + body)


def compact_list(tag, centroid, coords, csid=0):
    body = f8(*centroid) + u32(len(coords)) + b''.join(f8(*c) for c in coords)
    return compact(tag, body, csid)


CASES = []


def case(name, data, note):
    CASES.append((name, data, note))


def build():
    # Version 02.
    case('kt02_two_points', kt02([point((1, 2)), point((5, 6))], csid=3, mn=(1, 2), mx=(5, 6),
                                 centroid=(3, 4)),
         'two point primitives, csid 3, flag 0: p P coordinate d twice, then 0')
    sq = square(0, 0, 1)
    case('kt02_polygon_without_interiors',
         kt02([polygon(path([curve(sq, closed=1, direction=2)], direction=2), None) +
               env((0, 0), (1, 1))], mn=(0, 0), mx=(1, 1), centroid=(0.5, 0.5), second=(0, 0)),
         'a polygon without interiors: O and the exterior path, no closing 0')
    case('kt02_polygon_empty_interiors',
         kt02([polygon(path([curve(sq, closed=1, direction=2)], direction=2), []) +
               env((0, 0), (1, 1))], mn=(0, 0), mx=(1, 1), centroid=(0.5, 0.5), second=(0, 0)),
         'a polygon with an empty interiors list: I, the exterior path and 0')
    mixed = [
        point((1, 2, 3)),
        point((10, 20), (7, -1, 0.5, -0.25)),
        curve([(0, 0), (1, 1), (2, 0)], kind='A') + env((0, 0), (2, 1)),
        curve([(0, 0), (3, 4), (6, 0)], ref=(5, 5), direction=2, kind='H',
              tangent=b'X' + f4(1, 0, 0, -1)) + b'd',
        curve([(0, 0), (1, 2)], kind='H', tangent=b'<' + f4(0.5, 0.25)) + b'd',
        curve([(0, 0), (1, 2)], kind='H', tangent=b'>' + f4(-0.5, 2)) + b'd',
        curve([(0, 0), (0, 0), (1, 2)], kind='B') + b'd',
        path([curve([(0, 0), (1, 0)]), curve([(2, 0), (1, 0)], direction=0)], closed=0) +
        env((0, 0), (2, 0)),
        polygon(path([curve(square(0, 0, 10), closed=1, direction=2)], direction=2),
                [path([curve(square(2, 2, 2), closed=1, direction=2)], direction=2)],
                label=(5, 5)) + env((0, 0), (10, 10)),
        curve([(0, 0, 1), (1, 1, 2)], direction=0) + env((0, 0, 1), (1, 1, 2)),
    ]
    case('kt02_mixed', kt02(mixed, mn=(0, 0, 1), mx=(10, 20, 3), flg=1, centroid=(5, 5, 2),
                            second=(1, 1)),
         'every record kind: Z point, dynamic point, arc, KT_Curves with X, < and > tangents, '
         'Bezier, two-curve path, polygon with a hole, 3-D curve and envelope, flag t')

    # Compact forms.
    case('p2dp_point', compact('P2DP', f8(1.5, -2.25)), 'point, centroid on it: 24 bytes')
    case('p2dp_point_id5_flag', compact('P2dp', f8(1.5, -2.25), csid=5),
         'the same with csid 5 and flag 1: 28 bytes')
    case('p3dp_point', compact('P3DP', f8(1, 2, 3)), 'a 3-D point')
    case('f2dl_line', compact_list('F2DL', (0.5, 0.5), [(0, 0), (1, 1)]),
         'polyline of direction 1, two 2-D coordinates: 60 bytes')
    case('f3dl_line', compact_list('F3DL', (0.5, 0.5, 1), [(0, 0, 2), (1, 1, NO_Z)]),
         'a centroid with Z: the 3-D form, a coordinate without Z written with z -1e6')
    case('r3dl_line_id9_flag', compact_list('R3dl', (1, 1, 1), [(0, 0, 1), (2, 2, 1)], csid=9),
         'direction 0, csid 9, flag 1')
    case('l2dp_path', compact_list('L2DP', (0.5, 0), [(0, 0), (1, 0)]),
         'a path of one polyline, direction 2')
    case('a2da_area', compact_list('A2DA', (0.5, 0.5), square(0, 0, 1)),
         'an area bounded by one polyline of direction 2')
    case('a3da_area_id4', compact_list('A3dA', (0.5, 0.5, 7), [(0, 0, 7), (1, 0, 7), (1, 1, 7),
                                                               (0, 0, 7)], csid=4),
         'a 3-D area with csid 4')
    case('a2dc_circle', compact('A2DC', f8(10, 20, 10, 20, 5)),
         'circle with centre (10, 20) and radius 5')
    case('a2dc_circle_id2_flag', compact('A2dc', f8(10, 20, 10, 20, 5), csid=2),
         'the circle with csid 2 and flag 1')

    # Wrapped object records.
    record = bytes(range(40))
    case('cv00_record40', blob('CV00', record), 'a 40-byte record wrapped with id 0: 48 bytes')
    case('cv01_record40_id7', blob('CV01', u32(7) + record),
         'the same record with id 7: 52 bytes')

    # Older versions (read only).
    case('kt01_id7_empty', blob('KT01', b's' + u32(7) + b't' + b'd' + b'b' + b'b' + b'0'),
         'version 01 with s, id 7 and t: csid 7, flag 1, no primitives')
    case('kt01_points_and_tangent',
         blob('KT01', b'f' + env((0, 0), (4, 0)) + pos((2, 0)) + pos(None) +
              point((4, 0)) + curve([(0, 0), (4, 0)], kind='H', tangent=b'<' + f4(0)) +
              b'd' + b'0'),
         'version 01: a point and a KT_Curve whose start tangent angle is 0')
    case('kt00_centroid_only', blob('KT00', b't' + b'c' + coord((3, 4))),
         'version 00: t, a centroid, then the end of the blob')
    case('kt00_polygon_with_hole',
         blob('KT00', b'f' + b'r' + b't' + b'I' +
              b'l' + b'L' + b'N' + u32(5) + b''.join(coord(c) for c in square(0, 0, 10)) + b'0' +
              b'r' + b't' + b'O' +
              b'l' + b'L' + b'N' + u32(5) + b''.join(coord(c) for c in square(2, 2, 2)) + b'0' +
              b'0' + b'pD' + coord((1, 1)) + i32(3) + i32(4) + i32(99) + f4(0) + b'0'),
         'version 00: a polygon with one hole record and a dynamic point of angle 0')

    # Through the map-object bridge (non-earth system, integers = coordinates).
    case('l2dl_line', compact_list('L2DL', (2, 1), [(0, 0), (4, 2)]),
         'map line (0,0)-(4,2): one curve of direction 2, centroid the rectangle centre: 60 bytes')
    case('kt02_region_abca',
         kt02([ring_polygon([(0, 0), (4, 0), (4, 3), (0, 0)]) + env((0, 0), (4, 3))],
              mn=(0, 0), mx=(4, 3), centroid=(2, 1)),
         'map region of one section A, B, C, A with centre (2, 1): 189 bytes')
    case('kt02_rect',
         kt02([ring_polygon([(0, 0), (4, 0), (4, 2), (0, 2), (0, 0)]) + env((0, 0), (4, 2))],
              mn=(0, 0), mx=(4, 2), centroid=(2, 1)),
         'map rectangle (0,0)-(4,2): the 5-coordinate ring, centroid its centre: 206 bytes')


# ---------------------------------------------------------- object records

def classic(type_, rect, fields, length):
    """A classic record: the type byte, the rectangle, then (offset, bytes)
    fields, zero elsewhere, `length` bytes in all (the last one 0)."""
    rec = bytearray(length)
    rec[0] = type_
    rec[1:33] = f8(*rect)
    for offset, data in fields:
        rec[offset:offset + len(data)] = data
    return bytes(rec)


def classic_poly(type_, rect, centre, sections):
    body = i16(len(sections))
    nodes = 0
    for within, pts in sections:
        body += i16(len(pts)) + i16(within) + b''.join(f8(*p) for p in pts)
        nodes += len(pts)
    length = 72 + 4 * len(sections) + 16 * nodes
    return classic(type_, rect, [(37, f8(*centre)), (69, body)], length)


def extended(type_, body):
    end = 45 + len(body)
    length = end + 1
    head = bytearray(45)
    head[33] = 100
    head[34:38] = i32(length - 34)
    head[38:42] = i32(end - 38)
    head[42:44] = struct.pack('<H', type_)
    head[44] = 1
    return bytes(head) + body + b'\0'


def pen_packed(width, pattern, rgb):
    return bytes([width & 7, pattern, 0]) + bytes(rgb)


def font_packed(style, back_flag, fore, back):
    return bytes([style & 0x7f, back_flag & 1]) + bytes(fore) + bytes(back)


def text_body(angle, height, label, font, pen, box, flags, text, name):
    name_bytes = name.encode().ljust(33, b'\0')
    return (i16(angle) + f8(height) + f8(*label) + font + pen + f8(*box) + bytes([flags]) +
            i16(len(text)) + text.encode() + b'\0' + name_bytes)


def build_records():
    case('cvrec_point', classic(1, (3, 4, 3, 4), [(37, f8(3, 4))], 54),
         'object record of the point (3, 4): type, rectangle, four zero bytes, x, y, 0: 54 bytes')
    case('cvrec_line', classic(2, (0, 0, 4, 2), [(37, f8(0, 0, 4, 2))], 70),
         'object record of the line (0,0)-(4,2): 70 bytes')
    case('cvrec_line_55', classic(2, (0, 0, 5, 5), [(37, f8(0, 0, 5, 5))], 70),
         'object record of the line (0,0)-(5,5)')
    case('cvrec_rect', classic(7, (0, 0, 4, 2), [], 34), 'object record of the rectangle (0,0)-(4,2)')
    case('cvrec_ellipse', classic(9, (0, 0, 4, 2), [], 34), 'object record of an ellipse')
    case('cvrec_arc', classic(3, (0, 0, 4, 2), [(33, i16(100) + i16(900))], 38),
         'object record of an arc: its ellipse rectangle and angles 100, 900')
    case('cvrec_region_abca',
         classic_poly(5, (0, 0, 4, 3), (2, 1), [(0, [(0, 0), (4, 0), (4, 3), (0, 0)])]),
         'object record of the region A, B, C, A with centre (2, 1): 140 bytes')
    case('cvrec_polyline_of_line',
         classic_poly(4, (0, 0, 4, 2), (2, 1), [(0, [(0, 0), (4, 2)])]),
         'the line (0,0)-(4,2) back from its blob: a polyline of one section')
    case('cvrec_region_of_rect',
         classic_poly(5, (0, 0, 4, 2), (2, 1), [(0, [(0, 0), (4, 0), (4, 2), (0, 2), (0, 0)])]),
         'the rectangle (0,0)-(4,2) back from its blob: a region of one closed section')
    text = extended(6, text_body(450, 10, (25, 5), font_packed(1, 0, (0, 0, 255), (255, 255, 255)),
                                 pen_packed(1, 2, (255, 0, 0)), (0, 0, 50, 10), 0, 'Hello',
                                 'Arial'))
    case('cvrec_text5', text, 'extended record of a 5-character text: 160 bytes')
    case('cv00_text5', blob('CV00', text), 'the text record wrapped: 168 bytes')
    region_body = (f8(0, 0, 4, 3) + f8(2, 1) + i16(1) + i32(4) + i16(0) +
                   b''.join(f8(*p) for p in [(0, 0), (4, 0), (4, 3), (0, 0)]))
    case('cvrec_collection_region', extended(14, f8(0, 0, 4, 3) + b'\0\0\1' + region_body),
         'a collection with only a region part: rectangle, 0, 0, 1, the region body')


def main():
    build()
    build_records()
    out = sys.argv[1] if len(sys.argv) > 1 else 'tests/geometry/golden/blobs.txt'
    with open(out, 'w') as f:
        f.write('# Written by tools/gen_blob_golden.py from the blob and record layouts.\n')
        for name, data, note in CASES:
            f.write('# %s (%d bytes)\n%s %s\n' % (note, len(data), name, data.hex()))


if __name__ == '__main__':
    main()
