// Runs geomconv over input lines and collects its output lines and exit
// status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace geomconv_test {

struct Output {
    std::vector<std::string> lines;
    int status = -1;
};

// Runs geomconv with the arguments over the input lines.
inline Output Geomconv(const std::string& args, const std::vector<std::string>& input) {
    char path[] = "/tmp/geomconv_inXXXXXX";
    const int fd = mkstemp(path);
    {
        std::ofstream in(path);
        for (const std::string& l : input) in << l << "\n";
    }
    close(fd);
    const std::string command =
        std::string(QL_GEOMCONV) + " " + args + " < " + path + " 2>/dev/null";
    Output run;
    FILE* p = popen(command.c_str(), "r");
    char buf[1 << 16];
    std::string text;
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    const int rc = pclose(p);
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) run.lines.push_back(line);
    unlink(path);
    return run;
}

}  // namespace geomconv_test
