// geomconv's parts: the line loop and the blob form (geomconv.cpp), and the
// forms that go through a map object (geomconv_objects.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace geomconv {

using Bytes = std::vector<uint8_t>;

// Reports of the current line ("CODE value value", kernel error codes).
extern std::vector<std::string> reports;

bool from_hex(const std::string& s, Bytes* out);
std::string to_hex(const uint8_t* p, size_t n);

// Converts one line; false after a failure (its reports recorded).
using Line = bool (*)(const std::string& line, std::string* out);

// The conversion FROM -> TO through a map object in the integer space of
// the clause, or null (unknown forms, or a clause that does not read:
// *error says which).
Line object_conversion(const std::string& from, const std::string& to, const std::string& clause,
                       bool short_codes, std::string* error);
void object_conversion_end();

}  // namespace geomconv
