// Runs the srvq program that sits beside the test program.
#pragma once
#include <string>
#include <utility>
#include <vector>

// Output and exit status of srvq with these arguments.
std::pair<std::string, int> Srvq(const std::vector<std::string>& args);
