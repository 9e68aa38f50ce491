// Screen and window conventions shared by jxgrid.dll and the host: how a
// monitor is named by a number, and the class of the library's plain windows.
#pragma once

// Monitor value: a signed number naming a monitor. Values above
// JX_MONITOR_NUMBERED_LAST or below -JX_MONITOR_NUMBERED_LAST are window
// handles (the monitor of that window).
#define JX_MONITOR_PRIMARY 0
#define JX_MONITOR_NUMBERED_FIRST 1  // 1 to 30: the n-th monitor, mirrors not counted
#define JX_MONITOR_NUMBERED_LAST 30
#define JX_MONITOR_OF_MOUSE (-1)
#define JX_MONITOR_OF_FOREGROUND (-2)
// -3 to -30 name the primary monitor as well.

// Window class of the library's utility windows (message-only helpers, popup
// owners); registered on first use and unregistered when the library unloads.
#define JX_DEFAULT_WINDOW_CLASS L"JX_default"
