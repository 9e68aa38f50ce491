// What the benchmark programs share: the test data, a clock, and the lines
// ./jx bench reads ("bench NAME VALUE UNIT", "ratio NAME VALUE").
#pragma once
#include <windows.h>
#include <stdio.h>
#include <fstream>
#include <random>
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

// CSV text of `rows` rows by 6 columns: numbers, words, quoted fields with
// separators, quotes and line breaks inside, and some empty fields.
inline std::string MakeCsvText(int rows) {
    static const char* const kWords[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf",
                                         "hotel", "india", "juliet", "kilo", "lima", "mike", "november"};
    std::mt19937 random(42);
    auto word = [&] { return std::string(kWords[random() % std::size(kWords)]); };
    std::string text;
    text.reserve(size_t(rows) * 64);
    for (int row = 0; row < rows; ++row) {
        text += std::to_string(random() % 1000000);
        text += ',';
        text.append(word()).append(std::to_string(random() % 100));
        text += ',';
        switch (random() % 4) {
            case 0: text.append("\"").append(word()).append(", ").append(word()).append("\""); break;
            case 1: text.append("\"say \"\"").append(word()).append("\"\"\""); break;
            case 2: text.append("\"").append(word()).append("\r\n").append(word()).append("\""); break;
            default: text += word(); break;
        }
        text += ',';
        if (random() % 5) text.append(std::to_string(random() % 100000)).append(".").append(std::to_string(random() % 100));
        text += ',';
        if (random() % 3) text.append(word()).append(" ").append(word());
        text += ',';
        text += std::to_string(row);
        text += "\r\n";
    }
    return text;
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
