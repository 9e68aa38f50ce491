// The edit field with buttons of jxgrid.dll: window class "JX_Edit", a
// superclass of the system "Edit" that any dialog can create by name while
// the library is loaded.
//
// Up to two buttons sit inside the right edge of the field: a dropdown button
// (shown by default) and an action button with an icon the owner chooses.
// The field reports to its parent with WM_COMMAND, sent synchronously, with
// the control id in the low word of wParam, the notification code in the
// high word and the field's window as lParam.
#pragma once
#include <windows.h>

#define JX_EDIT_CLASS "JX_Edit"
#define JX_EDIT_CLASS_W L"JX_Edit"
// The flags the library tells the host's "JxSetWindowClassFlags" for the class.
#define JX_EDIT_CLASS_FLAGS 1

// Notification codes (the high word of WM_COMMAND's wParam)
#define JX_EDIT_NOTIFY_DROPDOWN 7  // the dropdown button, PgUp, PgDn, Up or Down: show a list
#define JX_EDIT_NOTIFY_ACTION 0    // the action button was clicked, or Enter in a single-line field

// Sets the buttons and the action button's icon; returns 0.
//   wParam = one JX_EDIT_ICON_* source | one JX_EDIT_BUTTONS_* selection
//            (| JX_EDIT_IMAGE_INDEX(n) with JX_EDIT_ICON_IMAGELIST)
//   lParam = the icon source, or 0 for the default icon
// The field keeps its own copy of the icon; the caller keeps what it passed.
// A source that yields no icon leaves the default icon.
#define JX_EDIT_SETBUTTON (WM_USER + 256)

// Icon sources (wParam bits 0-1)
#define JX_EDIT_ICON_FILE 0       // lParam: a file path (8-bit text), icon from the host's "GetFileIcon"
#define JX_EDIT_ICON_HANDLE 1     // lParam: an HICON, copied
#define JX_EDIT_ICON_IMAGELIST 2  // lParam: an HIMAGELIST, image number JX_EDIT_IMAGE_INDEX
#define JX_EDIT_ICON_RESOURCE 3   // lParam: an icon resource name (8-bit text or MAKEINTRESOURCE) of the host program
#define JX_EDIT_ICON_SOURCE_MASK 0x3
// The image number of JX_EDIT_ICON_IMAGELIST (wParam bits 16-31)
#define JX_EDIT_IMAGE_INDEX(n) ((WPARAM)(WORD)(n) << 16)

// Button selections (wParam bits 8-9)
#define JX_EDIT_BUTTONS_ACTION 0x000    // the action button only
#define JX_EDIT_BUTTONS_BOTH 0x100      // the dropdown and the action button
#define JX_EDIT_BUTTONS_NONE 0x200      // no buttons: a plain edit field
#define JX_EDIT_BUTTONS_DROPDOWN 0x300  // the dropdown button only (the state at creation)
#define JX_EDIT_BUTTONS_MASK 0x300
