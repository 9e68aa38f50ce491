// `jxhost grid`: a dialog with a JX_Grid of jxgrid.dll, as a macro's dialog
// would show one.
#pragma once
#include <span>
#include <string_view>

namespace jxhost {

// `jxhost grid [--exit-after SECONDS] [--demo KIND] [FILE.csv]`: without a
// file the grid shows an embedded sample with a column of each cell kind,
// check boxes, tree indent, row numbers and row drags; a file's first row
// names the columns and the rest are its rows. The dialog fills dropdown
// lists and reports the grid's notifications in a status text. `--demo`
// opens an editor (text, dropdown, checkbox, date), a dropdown cell's list
// (list) or the row menu (menu) by itself and ends after 6 seconds.
int RunGridCommand(std::span<const std::wstring_view> args);

}  // namespace jxhost
