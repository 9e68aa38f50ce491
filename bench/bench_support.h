// What the benchmark programs share: the test data, a clock, and the lines
// ./jx bench reads ("bench NAME VALUE UNIT", "ratio NAME VALUE").
#pragma once
#include <windows.h>
#include <stdio.h>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// A file of the project's test data (JX_TESTDATA_DIR is set by the build).
inline std::string TestDataPath(std::string_view relative) { return std::string(JX_TESTDATA_DIR "/") += relative; }

inline std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

inline double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / frequency;
}

// The fastest of `runs` runs; `run` prepares its input and returns the
// seconds its measured part took.
template <class Run>
double Fastest(int runs, Run run) {
    double best = 0;
    for (int i = 0; i < runs; ++i) {
        const double seconds = run();
        if (i == 0 || seconds < best) best = seconds;
    }
    return best;
}

inline void PrintFigure(const char* name, double value, const char* unit) {
    printf("bench %s %.1f %s\n", name, value, unit);
    fflush(stdout);
}

// baselineSeconds / ourSeconds: above 1 when we are faster.
inline void PrintRatio(const char* name, double baselineSeconds, double ourSeconds) {
    printf("ratio %s %.3f\n", name, baselineSeconds / ourSeconds);
    fflush(stdout);
}

}  // namespace bench
