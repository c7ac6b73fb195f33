// Small text helpers of the application.
#pragma once

#include <string>

// The text without white space (blank, tab, CR, LF, VT, FF) at both ends.
std::string TrimWhite(const std::string& text);
// Lower-case ASCII copy.
std::string AsciiLower(const std::string& text);
// Case-insensitive ASCII equality.
bool EqualsNoCase(const std::string& a, const std::string& b);
// The file name of a path without directory and extension; "/" and "\\"
// both end the directory.
std::string FileTitle(const std::string& path);
