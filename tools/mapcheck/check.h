// mapcheck: is a map file (and its .ID) sound, and what does it hold.
//
//   mapcheck [--dump] FILE.MAP [FILE.ID]
//
// Exit 0 for a sound file, else 1 with one line "mapcheck: <reason>" on the
// error stream. --dump then prints, per live record in search order (by row
// through FILE.ID when given), "row <n>" and the object's trace text in the
// file's transform, LF line ends.
#pragma once
#include <cstdio>

int mapcheck_main(int argc, char** argv, FILE* out, FILE* err);
