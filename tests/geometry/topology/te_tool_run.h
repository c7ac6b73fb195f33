// Runs the topo_run tool in-process for tests: arguments after the tool's
// name, input text on its stdin; answers the exit status and what it wrote.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/topo_run/topo_run.h"

namespace tetool {

struct Result {
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

inline Result RunTool(std::vector<std::string> args, const std::string& input) {
    args.insert(args.begin(), "topo_run");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::FILE* in = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Result r;
    r.status = topo_run(int(argv.size()), argv.data(), in, out, err);
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    for (std::FILE* f : {in, out, err}) std::fclose(f);
    return r;
}

}  // namespace tetool
