// `jxhost grid`: a dialog with a JX_Grid of jxgrid.dll, as a macro's dialog
// would show one.
#pragma once
#include <span>
#include <string_view>

namespace jxhost {

// `jxhost grid [--exit-after SECONDS] [FILE.csv]`: without a file the grid
// shows an embedded sample (cell kinds, check boxes, tree indent, row
// numbers); a file's first row names the columns and the rest are its rows.
int RunGridCommand(std::span<const std::wstring_view> args);

}  // namespace jxhost
