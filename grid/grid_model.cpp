// The grid's rows, columns and row properties, and the two small text
// formats they travel in: the column-definition CSV and the row prefix.
#include <string.h>
#include "grid.h"
#include "row_prefix.h"
#include "text/numbers.h"
#include "window/list_view_helpers.h"

namespace grid {
namespace {

// Columns defined without a width share this many percent of the width.
constexpr int kSharedPercent = 99;

// Fields of a column-definition row
enum ColumnField { kColumnText, kColumnWidth, kColumnKind, kColumnFlags };
// Fields of the settings row
enum SettingsField { kSettingStyle, kSettingColumnOptions, kSettingSetFlags, kSettingGetFlags, kSettingExStyles };

// The value of a settings field, false when it is empty.
bool ReadSetting(CsvTable& table, int column, unsigned& value) {
    const char* text;
    if (table.GetCell(0, column, &text) != S_OK || !*text) return false;
    value = ParseFlags(text);
    return true;
}

}  // namespace

bool Grid::EnsureColumns() {
    if (!columns_.empty()) return true;
    const int count = ListViewColumnCount(window_);
    if (count <= 0) return false;
    columns_.assign(size_t(count), ColumnDescription{0, 0});
    table_.SetColumnCount(count);
    table_.SetRowHeaderSize(count + kRowHeaderFixedSize);
    return true;
}

void Grid::ClearRows() {
    table_.Clear();
    RowsChanged();
    table_.SetColumnCount(Columns());
}

void Grid::PrepareIncoming(CsvTable& incoming) const { incoming.SetRowHeaderSize(table_.RowHeaderSize()); }

void Grid::InitNewRows(int first, int end) {
    for (int row = first; row < end; ++row) InitNewRow(row);
}

void Grid::InitNewRow(int row) {
    RowHeader& header = Header(row);
    for (int column = 0; column < Columns(); ++column) header.kinds[column] = columns_[size_t(column)].kind;
    if (style_ & JX_GRID_ROW_PROPERTIES) ApplyRowPrefix(row);
    if ((style_ & JX_GRID_CHECK_BOXES) && Header(row).StateImage() == 0) Header(row).SetStateImage(kUnchecked);
}

void Grid::SetCellKind(int row, int column, int kind) {
    const ColumnDescription& description = columns_[size_t(column)];
    if (kind < 0 || (description.flags & JX_GRID_COLUMN_FIXED_KIND)) kind = description.kind;
    Header(row).kinds[column] = BYTE(kind);
}

void Grid::ApplyRowPrefix(int row) {
    RowPrefix prefix;
    if (!ParseRowPrefix(Cell(row, 0), prefix)) return;
    RowHeader& header = Header(row);
    if (prefix.has[RowPrefix::kKind])
        for (int column = 0; column < Columns(); ++column) SetCellKind(row, column, prefix.value[RowPrefix::kKind]);
    if (prefix.has[RowPrefix::kItemData]) header.itemData = prefix.itemData;
    if (prefix.has[RowPrefix::kImage]) header.image = prefix.value[RowPrefix::kImage] < 0 ? I_IMAGENONE : prefix.value[RowPrefix::kImage];
    if (prefix.has[RowPrefix::kOverlay]) header.SetOverlay(prefix.value[RowPrefix::kOverlay]);
    if (prefix.has[RowPrefix::kStateImage]) header.SetStateImage(prefix.value[RowPrefix::kStateImage]);
    if (prefix.has[RowPrefix::kIndent]) header.indent = int16_t(prefix.value[RowPrefix::kIndent]);
    if (prefix.cellKinds) {
        ListedKinds kinds(prefix.cellKinds, prefix.end);
        int kind;
        for (int column = 0; column < Columns() && kinds.Next(kind); ++column)
            if (kind != ListedKinds::kUnchanged) SetCellKind(row, column, kind);
    }
    if (style_ & JX_GRID_LABEL_COLUMN) return;
    // The new block is built before the old one, which holds the text, goes.
    SetStoredText(row, 0, prefix.Rest());
}

void Grid::SetRowProperties(int row, const LVITEMW& item) {
    RowHeader& header = Header(row);
    if (item.mask & LVIF_IMAGE) header.image = item.iImage;
    if (item.mask & LVIF_PARAM) header.itemData = item.lParam;
    if (item.mask & LVIF_STATE) {
        const UINT mask = item.stateMask & (LVIS_OVERLAYMASK | LVIS_STATEIMAGEMASK);
        header.images = BYTE((header.images & ~(mask >> 8)) | ((item.state & mask) >> 8));
    }
    if (item.mask & LVIF_INDENT) header.indent = int16_t(item.iIndent);
}

void Grid::SetStoredText(int row, int column, const char* text) {
    table_.ReplaceRowPacked(row, 1, text, column, nullptr);
}

const char* Grid::WithoutStoredPrefix(const char* text) const {
    return KeepsPrefixInText() ? SkipPrefix(text) : text;
}

void Grid::AppendRowPrefix(str& out, int row, unsigned flags, int firstColumn) const {
    const RowHeader& header = Header(row);
    str number;
    auto field = [&](unsigned bit, int64_t value) {
        if (flags & bit) {
            number.SetInt64(value);
            out.Append(number);
        }
        out.AppendChar('/');
    };
    out.AppendChar('<');
    field(JX_GRID_PREFIX_KIND, header.kinds[firstColumn]);
    field(JX_GRID_PREFIX_DATA, header.itemData);
    field(JX_GRID_PREFIX_IMAGE, header.image < 0 ? -1 : header.image);
    field(JX_GRID_PREFIX_OVERLAY, header.Overlay());
    field(JX_GRID_PREFIX_STATE, header.StateImage());
    field(JX_GRID_PREFIX_INDENT, header.indent);
    if (flags & JX_GRID_PREFIX_CELL_KINDS) {
        for (int column = firstColumn; column < Columns(); ++column) {
            if (column > firstColumn) out.AppendChar(' ');
            number.SetInt(header.kinds[column]);
            out.Append(number);
        }
    }
    while (out.EndsWith('/')) out.RemoveLastIf('/');
    out.AppendChar('>');
}

bool Grid::IsRowChosen(int row) const {
    if (style_ & JX_GRID_CHECK_BOXES) return Header(row).StateImage() == kChecked;
    return CallBase(LVM_GETITEMSTATE, WPARAM(row), LVIS_SELECTED) & LVIS_SELECTED;
}

void Grid::SetStyle(unsigned bits, unsigned mask) {
    const unsigned old = style_;
    const unsigned wanted = (old & ~mask) | (bits & mask);
    // The check-box bit is switched by the extended style, which marks the rows.
    style_ = (wanted & ~unsigned(JX_GRID_CHECK_BOXES)) | (old & JX_GRID_CHECK_BOXES);
    const unsigned changed = old ^ wanted;
    if (changed & JX_GRID_CHECK_BOXES)
        SendMessageW(window_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES,
                     (wanted & JX_GRID_CHECK_BOXES) ? LVS_EX_CHECKBOXES : 0);
    if ((changed & (JX_GRID_CHECK_BOXES | JX_GRID_ROW_NUMBERS)) && Rows() > 0) InvalidateRect(window_, nullptr, TRUE);
}

void Grid::ApplySettingsRow(CsvTable& definition, bool& minusScrollBar) {
    unsigned value;
    if (ReadSetting(definition, kSettingStyle, value)) SetStyle(value, ~0u);
    if (ReadSetting(definition, kSettingColumnOptions, value)) minusScrollBar = value & JX_GRID_COLUMNS_MINUS_SCROLLBAR;
    if (ReadSetting(definition, kSettingSetFlags, value)) setFlags_ = value;
    if (ReadSetting(definition, kSettingGetFlags, value)) getFlags_ = value;
    if (ReadSetting(definition, kSettingExStyles, value)) SendMessageW(window_, LVM_SETEXTENDEDLISTVIEWSTYLE, value, value);
}

bool Grid::ApplyColumnDefinition(const char* csv, unsigned flags) {
    if (Rows() > 0 || !csv) return false;
    CsvTable definition;
    if (definition.FromText(csv) == E_INVALIDARG) return false;
    bool minusScrollBar = flags & JX_GRID_COLUMNS_MINUS_SCROLLBAR;
    int first = 0;
    if ((flags & JX_GRID_COLUMNS_SETTINGS_ROW) && definition.RowCount() > 0) {
        ApplySettingsRow(definition, minusScrollBar);
        first = 1;
    }
    const int count = definition.RowCount() - first;
    if (count <= 0) return true;

    while (CallBase(LVM_DELETECOLUMN, 0, 0)) {
    }
    columns_.clear();
    ColumnList described(size_t(count), ColumnDescription{0, 0});
    const int fields = definition.ColumnCount();
    for (int i = 0; i < count; ++i) {
        const char* row = definition.Fields(first + i);
        const char* widthText = fields > kColumnWidth ? FieldAt(row, kColumnWidth) : "";
        int width = -(kSharedPercent / count);
        if (*widthText) {
            const char* after;
            width = ParseIntEnd(widthText, &after);
            while (*after == ' ') ++after;
            if (*after == '%') width = -width;
        }
        ListViewInsertColumn(window_, i, row, width, minusScrollBar);
        if (fields > kColumnKind) described[size_t(i)].kind = BYTE(ParseFlags(FieldAt(row, kColumnKind)));
        if (fields > kColumnFlags) described[size_t(i)].flags = BYTE(ParseFlags(FieldAt(row, kColumnFlags)));
    }
    columns_.swap(described);
    table_.SetColumnCount(count);
    table_.SetRowHeaderSize(count + kRowHeaderFixedSize);
    return true;
}

}  // namespace grid
