// jxdd.exe, the drag-and-drop relay: accepts OLE drops on behalf of the host
// application and hands them to its JX_Editor window. Takes no arguments.
#include <windows.h>
#include "relay_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return jxdd::RunRelay(); }
