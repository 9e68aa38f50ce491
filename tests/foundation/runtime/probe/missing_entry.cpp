// Binds an entry point that does not exist, without the silent flags: the
// process shows the fatal message box and ends with the binding exit code.
// Argument "dll" asks for a missing library instead.
#include <string.h>
#include "runtime/module_state.h"

int main(int argc, char** argv) {
    void (*missing)() = nullptr;
    if (argc > 1 && strcmp(argv[1], "dll") == 0)
        BindProcs(0, "no-such-library", {{"Anything", &missing}});
    else
        BindProcs(0, "kernel32", {{"NoSuchEntry", &missing}});
    return 0;
}
