// `jxhost dropdown`: the dropdown lists of jxgrid.dll as a macro's dialog
// would open them.
#pragma once
#include <span>
#include <string_view>

namespace jxhost {

// `jxhost dropdown [--exit-after SECONDS] [--demo list|checks|menu|combo]`:
// a dialog with a JX_Edit field whose dropdown button drops a list of items
// (icons, colours, a bold and a disabled item, info tips), buttons for a
// check list and a bit-mask list, a menu whose "View flags" item opens a
// bit-mask list beside itself while the menu is open, and four JX_ComboBox
// controls (single selection, check list, flag numbers, typed entries) loaded
// and read through WM_JX_DIALOGCONTROLDATA. --demo opens the named list by
// itself once the dialog shows and closes after a few seconds.
int RunDropdownCommand(std::span<const std::wstring_view> args);

}  // namespace jxhost
