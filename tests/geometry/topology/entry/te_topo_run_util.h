// Runs the topo_run tool in the test process: arguments after the program
// name, standard input from a string, the status and both outputs back.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/topo_run/topo_run.h"

namespace tetest {

struct ToolResult {
    int status;
    std::string out, err;
};

inline std::string ReadAll(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

inline ToolResult RunTopoRun(std::vector<std::string> args, const std::string& input) {
    std::vector<char*> argv;
    args.insert(args.begin(), "topo_run");
    for (std::string& a : args) argv.push_back(a.data());
    std::FILE* in = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ToolResult r;
    r.status = topo_run(int(argv.size()), argv.data(), in, out, err);
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    for (std::FILE* f : {in, out, err}) std::fclose(f);
    return r;
}

}  // namespace tetest
