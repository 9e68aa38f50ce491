// Window messages that jxgrid.dll exchanges with controls it did not create.
#pragma once
#include <windows.h>

// Registered message (RegisterWindowMessageA) that asks a control for its
// programmatic name. jxgrid.dll sends it while it searches a window's
// controls by name, possibly to a control of another process:
//   wParam = JX_CONTROL_NAME_UNITS, the buffer's capacity in UTF-16 units
//   lParam = the buffer's address, valid in the process that owns the control
// A control that has a name writes it there as UTF-16 text and returns its
// length in UTF-16 units; 0 means no name. Units beyond the capacity are
// never read.
#define JX_MSG_GETCONTROLNAME "WM_GETCONTROLNAME"
#define JX_CONTROL_NAME_UNITS 4096

// How long a search waits for one control's answer before treating it as
// nameless.
#define JX_CONTROL_NAME_TIMEOUT_MS 10000
