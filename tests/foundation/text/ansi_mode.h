// The library switched to the system ANSI code page for one test.
#pragma once
#include <windows.h>
#include "runtime/module_state.h"
#include "text/char_tables.h"

class AnsiMode {
public:
    AnsiMode() : saved_(g_module.codePage) {
        g_module.codePage = 0;
        BuildCharTables(0);
    }
    ~AnsiMode() {
        g_module.codePage = saved_;
        BuildCharTables(saved_);
    }
    AnsiMode(const AnsiMode&) = delete;
    AnsiMode& operator=(const AnsiMode&) = delete;

private:
    UINT saved_;
};
