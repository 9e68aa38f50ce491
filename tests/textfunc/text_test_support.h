// Helpers of the text-function tests: strings with any bytes, the shared
// test data, and the ANSI code page.
#pragma once
#include <string>
#include <string_view>
#include "text/char_tables.h"
#include "runtime/module_state.h"
#include "text/str.h"

inline str Holding(std::string_view text) {
    str s;
    s.Assign(text.data(), 0, int(text.size()));
    return s;
}

inline std::string_view View(const str& s) { return {s.Text(), size_t(s.len)}; }

// A file of the project's test data (JX_TESTDATA_DIR is set by the build).
inline std::string TestDataPath(std::string_view relative) { return std::string(JX_TESTDATA_DIR "/") += relative; }

// The library code page is 0 (the system ANSI code page) while this lives.
class AnsiMode {
public:
    AnsiMode() : saved_(g_module.codePage) { Use(0); }
    ~AnsiMode() { Use(saved_); }
    AnsiMode(const AnsiMode&) = delete;
    AnsiMode& operator=(const AnsiMode&) = delete;

private:
    static void Use(UINT codePage) {
        g_module.codePage = codePage;
        BuildCharTables(codePage);
    }
    UINT saved_;
};
