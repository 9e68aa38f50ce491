// The grid's own messages JX_GRID_SETSTYLE to JX_GRID_SETCELLBUTTON and its
// notifications to the parent.
#include <string.h>
#include <algorithm>
#include "grid.h"
#include "row_prefix.h"
#include "runtime/module_state.h"
#include "window/list_view_helpers.h"

namespace grid {
namespace {

// Rows a grid can have: the list view's limit for owner data.
constexpr int kMaxRows = 100000000;
// The cell button of an open editor.
// Per-block bookkeeping of the allocator, counted when checking that rows fit.
constexpr size_t kBlockOverhead = 32;

// Incoming rows read one after another from packed fields of a known length.
class PackedReader {
public:
    PackedReader(const char* fields, int length) : at_(fields), end_(fields + length) {}
    // The next `count` fields, or null when fewer are left.
    const char* Next(int count) {
        const char* start = at_;
        for (int i = 0; i < count; ++i) {
            const void* nul = memchr(at_, 0, size_t(end_ - at_));
            if (!nul) return nullptr;
            at_ = static_cast<const char*>(nul) + 1;
        }
        return start;
    }
    bool AtEnd() const { return at_ >= end_; }

private:
    const char* at_;
    const char* end_;
};

// Whether `count` empty rows of `rowBytes` each can be made: they may take
// at most half of the free physical memory, and the allocator must give
// their bytes at once (asked without its retries), so that a huge request
// fails quietly instead of exhausting the host.
bool RowsFit(int64_t count, size_t rowBytes) {
    const int64_t bytes = count * int64_t(rowBytes + kBlockOverhead + sizeof(char*));
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof memory;
    if (GlobalMemoryStatusEx(&memory) && uint64_t(bytes) > memory.ullAvailPhys / 2) return false;
    if (bytes > int64_t(SIZE_MAX / 2)) return false;
    HostBlock probe(HostAlloc(size_t(bytes)));
    return probe.block != nullptr;
}

}  // namespace

LRESULT Grid::OnGridMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case JX_GRID_SETSTYLE:
        SetStyle(unsigned(wParam), unsigned(lParam));
        return TRUE;
    case JX_GRID_SETCELLKIND:
        return OnSetCellKind(int(wParam), lParam);
    case JX_GRID_SETCOLUMNKIND:
        return OnSetColumnKind(int(wParam), lParam);
    case JX_GRID_SETPACKED:
        return OnSetPacked(unsigned(wParam), reinterpret_cast<const GridPackedFields*>(lParam));
    case JX_GRID_GETPACKED:
        return OnGetPacked(unsigned(wParam), reinterpret_cast<JxString*>(lParam));
    case JX_GRID_QUERY:
        return OnQuery(wParam, lParam);
    case JX_GRID_SETCOLUMNS:
        return ApplyColumnDefinition(reinterpret_cast<const char*>(lParam), unsigned(wParam));
    case JX_GRID_PUTROW:
        return OnPutRow(int(wParam), reinterpret_cast<const GridRowData*>(lParam));
    case JX_GRID_READROW:
        return OnReadRow(int(wParam), reinterpret_cast<GridRowRead*>(lParam));
    case JX_GRID_EXCHANGEROWS:
        return OnExchangeRows(reinterpret_cast<GridRowExchange*>(lParam));
    case JX_GRID_CSV:
        return OnCsv(wParam, lParam);
    case JX_GRID_SORT:
        return OnSort(unsigned(wParam), int(lParam));
    case JX_GRID_SETCELLBUTTON:
        return OnSetCellButton(wParam, reinterpret_cast<const char*>(lParam));
    }
    return 0;
}

LRESULT Grid::OnSetCellKind(int row, LPARAM columnAndKind) {
    const int column = LOWORD(columnAndKind);
    const int kind = static_cast<short>(HIWORD(columnAndKind));
    if (!IsRow(row) || !IsColumn(column)) return FALSE;
    if (column == 0 && (style_ & JX_GRID_ROW_PROPERTIES)) {
        for (int each = 0; each < Columns(); ++each) SetCellKind(row, each, kind);
    } else {
        SetCellKind(row, column, kind);
    }
    RedrawRow(row);
    return TRUE;
}

LRESULT Grid::OnSetColumnKind(int column, LPARAM kindAndFlags) {
    if (!EnsureColumns() || Rows() > 0 || !IsColumn(column)) return FALSE;
    columns_[size_t(column)] = {BYTE(kindAndFlags), BYTE(kindAndFlags >> 16)};
    return TRUE;
}

// ---- Setting rows

int Grid::IncomingFieldsPerRow(unsigned flags) const {
    if (flags & JX_GRID_SET_COLUMN0_ONLY) return 1;
    if (flags & JX_GRID_SET_FROM_COLUMN1) return Columns() - 1;
    return Columns();
}

bool Grid::CloseEditorForIncoming() {
    CloseEditor();
    return !destroyed_ && EnsureColumns();
}

bool Grid::TakeRows(CsvTable& incoming, unsigned flags) {
    // An editor opened while the rows came in is closed before they are taken.
    if (!CloseEditorForIncoming() || incoming.RowHeaderSize() != table_.RowHeaderSize()) return false;
    const int columns = Columns();
    bool keepColumn0 = false;
    if (flags & JX_GRID_SET_COLUMN0_ONLY) {
        incoming.SetColumnCount(std::min(incoming.ColumnCount(), 1));
    } else if (flags & JX_GRID_SET_FROM_COLUMN1) {
        incoming.InsertColumn(0);
        keepColumn0 = !(style_ & JX_GRID_ROW_NUMBERS);
    }
    incoming.SetColumnCount(columns);
    int firstNew = 0;
    if (keepColumn0) {
        // The rows that exist keep their properties and column 0; those
        // beyond the data keep only them.
        const int kept = Rows();
        for (int row = 0; row < kept; ++row) {
            const char* column0 = Cell(row, 0);
            if (row < incoming.RowCount())
                incoming.ReplaceRowPacked(row, 1, column0, 0, nullptr);
            else
                incoming.InsertRowPacked(row, 1, column0, 0, nullptr);
            memcpy(incoming.Row(row), table_.Row(row), size_t(table_.RowHeaderSize()));
        }
        firstNew = kept;
    }
    table_.Swap(incoming);
    RowsChanged();
    InitNewRows(firstNew, Rows());
    if (Rows() > 0)
        UpdateItemCount(false);
    else
        PostRefresh();
    return true;
}

LRESULT Grid::OnSetPacked(unsigned flags, const GridPackedFields* packed) {
    if (!packed || packed->length < 0 || (packed->length > 0 && !packed->fields) || !CloseEditorForIncoming())
        return FALSE;
    const int perRow = IncomingFieldsPerRow(flags);
    CsvTable incoming;
    PrepareIncoming(incoming);
    if (perRow > 0) {
        PackedReader reader(packed->fields, packed->length);
        while (!reader.AtEnd() && incoming.RowCount() < kMaxRows) {
            const char* fields = reader.Next(perRow);
            if (!fields) break;  // a last incomplete row is dropped
            incoming.InsertRowPacked(incoming.RowCount(), perRow, fields, 0, nullptr);
        }
    }
    return TakeRows(incoming, flags);
}

LRESULT Grid::OnCsv(WPARAM direction, LPARAM argument) {
    if (direction & JX_GRID_CSV_SET) {
        const char* text = reinterpret_cast<const char*>(argument);
        if (!text || !*text || !CloseEditorForIncoming()) return FALSE;
        CsvTable incoming;
        PrepareIncoming(incoming);
        if (incoming.FromText(text) != S_OK) return FALSE;
        return TakeRows(incoming, setFlags_);
    }
    auto* out = reinterpret_cast<JxString*>(argument);
    if (!out) return FALSE;
    if (!ReadModifiesFields(getFlags_)) return SUCCEEDED(table_.ToText(out));
    const int count = Columns() - ReadFirstColumn(getFlags_);
    CsvTable chosen;
    str buffer;
    for (int row = 0; row < Rows(); ++row) {
        const char* fields;
        size_t size;
        if (count > 0 && ReadOut(row, getFlags_, buffer, &fields, &size))
            chosen.InsertRowPacked(chosen.RowCount(), count, fields, 0, nullptr);
    }
    return SUCCEEDED(chosen.ToText(out));
}

// ---- Reading rows

bool Grid::ReadModifiesFields(unsigned flags) const {
    return (flags & (JX_GRID_GET_NO_COLUMN0 | JX_GRID_GET_NO_EMPTY_ROWS | JX_GRID_GET_SELECTED |
                     JX_GRID_PREFIX_ALL)) ||
           ((flags & JX_GRID_GET_STRIP_PREFIX) && KeepsPrefixInText());
}

bool Grid::ReadOut(int row, unsigned flags, str& buffer, const char** fields, size_t* size) const {
    if ((flags & JX_GRID_GET_SELECTED) && !IsRowChosen(row)) return false;
    const int first = ReadFirstColumn(flags);
    const int count = Columns() - first;
    const char* from = FieldAt(table_.Fields(row), first);
    const size_t fromSize = FieldsSize(from, count);
    const bool strip = first == 0 && (flags & (JX_GRID_GET_STRIP_PREFIX | JX_GRID_PREFIX_ALL)) && KeepsPrefixInText();
    const char* firstText = strip ? SkipPrefix(from) : from;
    const size_t firstSize = strlen(from) + 1;
    if ((flags & JX_GRID_GET_NO_EMPTY_ROWS) && !*firstText && fromSize - firstSize == size_t(count - 1)) return false;
    if (!strip && !(flags & JX_GRID_PREFIX_ALL)) {
        *fields = from;
        *size = fromSize;
        return true;
    }
    buffer.Empty();
    if (flags & JX_GRID_PREFIX_ALL) AppendRowPrefix(buffer, row, flags, first);
    buffer.AppendWithNul(firstText);
    buffer.Append(from + firstSize, int(fromSize - firstSize));
    *fields = buffer.buf;
    *size = size_t(buffer.len);
    return true;
}

LRESULT Grid::OnGetPacked(unsigned flags, JxString* out) {
    if (!out || Rows() == 0) return 0;
    str& packed = AsStr(out);
    const int count = Columns() - ReadFirstColumn(flags);
    if (count <= 0) return 0;
    int written = 0;
    str buffer;
    for (int row = 0; row < Rows(); ++row) {
        const char* fields;
        size_t size;
        if (!ReadOut(row, flags, buffer, &fields, &size)) continue;
        packed.Append(fields, int(size));
        ++written;
    }
    return LRESULT(written) * count;
}

LRESULT Grid::OnReadRow(int row, GridRowRead* read) {
    if (!read) return JX_GRID_READ_BAD_ARGUMENTS;
    read->text = nullptr;
    if (!IsRow(row) || read->columnCount < 0 || read->firstColumn < 0) return JX_GRID_READ_BAD_ARGUMENTS;
    if (LVITEMW* item = read->properties) {
        constexpr UINT kRowProperties = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT;
        if (item->iSubItem != 0 || (item->mask & ~kRowProperties)) return JX_GRID_READ_BAD_ARGUMENTS;
        item->iItem = row;
        const RowHeader& header = Header(row);
        if (item->mask & LVIF_IMAGE) item->iImage = header.image;
        if (item->mask & LVIF_PARAM) item->lParam = header.itemData;
        if (item->mask & LVIF_STATE) item->state = UINT(OnGetItemState(row, item->stateMask));
        if (item->mask & LVIF_INDENT) item->iIndent = header.indent;
    }
    if ((read->flags & JX_GRID_READ_SELECTED_ONLY) && !IsRowChosen(row)) return JX_GRID_READ_NOT_SELECTED;
    const int count = std::min(read->columnCount, Columns() - read->firstColumn);
    if (count <= 0) {
        if (read->firstColumn > Columns()) return JX_GRID_READ_BAD_ARGUMENTS;
        read->text = "";
        return JX_GRID_READ_NO_COLUMNS;
    }
    read->text = Cell(row, read->firstColumn);
    const size_t size = FieldsSize(read->text, count);
    if ((read->flags & JX_GRID_READ_REPORT_EMPTY) && size == size_t(count)) return JX_GRID_READ_EMPTY_ROW;
    return LRESULT(size);
}

LRESULT Grid::OnExchangeRows(GridRowExchange* exchange) {
    if (!exchange || !exchange->callback) return FALSE;
    if (exchange->direction == JX_GRID_EXCHANGE_OUT) {
        if (Rows() == 0) return TRUE;
        const unsigned flags = exchange->flags;
        const int count = Columns() - ReadFirstColumn(flags);
        if (count <= 0) return FALSE;
        str buffer;
        for (int row = 0; row < Rows(); ++row) {
            const char* fields;
            size_t size;
            if (!ReadOut(row, flags, buffer, &fields, &size)) continue;
            exchange->rowCount = Rows();
            exchange->columnCount = count;
            exchange->rowIndex = row;
            exchange->column = ReadFirstColumn(flags);
            exchange->fields = fields;
            if (exchange->callback(exchange)) return FALSE;
        }
        return TRUE;
    }
    if (exchange->direction != JX_GRID_EXCHANGE_IN || exchange->rowCount < 0 || exchange->columnCount < 0 ||
        exchange->rowCount > kMaxRows || !CloseEditorForIncoming())
        return FALSE;
    // Every row is in before any replaces the grid's, so a failing callback changes nothing.
    const int perRow = std::min(IncomingFieldsPerRow(exchange->flags), exchange->columnCount);
    const int rowCount = exchange->rowCount;
    CsvTable incoming;
    PrepareIncoming(incoming);
    for (int row = 0; row < rowCount; ++row) {
        exchange->rowIndex = row;
        exchange->column = 0;
        exchange->fields = nullptr;
        if (exchange->callback(exchange) || (perRow > 0 && !exchange->fields)) return FALSE;
        incoming.InsertRowPacked(row, std::max(perRow, 0), exchange->fields, 0, nullptr);
    }
    // The callback may have given the grid other columns meanwhile.
    return TakeRows(incoming, exchange->flags);
}

// ---- One row in

LRESULT Grid::OnPutRow(int row, const GridRowData* data) {
    CloseEditor();
    if (!data || row < 0 || data->firstColumn < 0 || data->fieldCount < 0 || !EnsureColumns() ||
        (data->fieldCount > 0 && !data->data) || data->firstColumn >= Columns() || row >= kMaxRows)
        return -1;
    const int form = int(data->flags & JX_GRID_DATA_FORM_MASK);
    if (form > JX_GRID_DATA_STRINGS) return -1;
    // Fields beyond the grid's columns are left out.
    const int fieldCount = std::min(data->fieldCount, Columns() - data->firstColumn);
    const int before = Rows();
    const bool replace = (data->flags & JX_GRID_ROW_REPLACE) && row < before;
    const int missing = std::max(row - before, 0);
    if (missing > 0 && !RowsFit(missing, size_t(table_.RowHeaderSize() + Columns()))) return -1;
    for (int i = 0; i < missing; ++i) {
        table_.InsertRowPacked(before + i, 0, "", 0, nullptr);
        InitNewRow(before + i);
    }
    int placed;
    table_.PutRow(replace, row, fieldCount, data->data, form, data->firstColumn, &placed);
    RowsChanged();
    const bool withPrefix = (style_ & JX_GRID_ROW_PROPERTIES) && data->firstColumn == 0 &&
                            (!replace || !(style_ & JX_GRID_LABEL_COLUMN) || (data->flags & JX_GRID_ROW_APPLY_PREFIX));
    if (!replace) {
        InitNewRow(placed);
    } else if (withPrefix) {
        ApplyRowPrefix(placed);
    }
    if (data->properties) SetRowProperties(placed, *data->properties);
    if (Rows() > before)
        PostRefresh();
    else
        RedrawRow(placed);
    return placed;
}

// ---- Queries, sorting, the cell button

LRESULT Grid::OnQuery(WPARAM query, LPARAM argument) {
    EnsureColumns();
    switch (LOWORD(query)) {
    case JX_GRID_QUERY_STYLE:
        return style_;
    case JX_GRID_QUERY_ROWS:
        if (argument) *reinterpret_cast<int*>(argument) = Columns();
        return Rows();
    case JX_GRID_QUERY_COLUMNKIND:
        return IsColumn(int(argument)) ? columns_[size_t(argument)].kind : 0;
    case JX_GRID_QUERY_CELLKIND: {
        const int row = int(argument), column = HIWORD(query);
        return IsRow(row) && IsColumn(column) ? Header(row).kinds[column] : 0;
    }
    case JX_GRID_QUERY_MODIFIED: {
        const bool old = modified_;
        if (argument & JX_GRID_MODIFIED_CLEAR)
            modified_ = false;
        else if (argument == JX_GRID_MODIFIED_SET)
            modified_ = true;
        return old;
    }
    }
    return 0;
}

LRESULT Grid::OnSort(unsigned flags, int column) {
    CloseEditor();
    if (!EnsureColumns() || !IsColumn(column)) return FALSE;
    bool descending = flags & JX_GRID_SORT_DESCENDING;
    if (flags & JX_GRID_SORT_TOGGLE) {
        const int shown = ListViewSortArrow(window_, column, kSortNone, kSortArrowQuery);
        if (shown != kSortNone) descending = shown == kSortAscending;
    }
    if (!(flags & JX_GRID_SORT_ARROW_ONLY)) {
        unsigned sortFlags = flags & ~unsigned(JX_GRID_SORT_TOGGLE | JX_GRID_SORT_ARROW_ONLY | kCsvSortReverse);
        if (descending) sortFlags |= kCsvSortReverse;
        if (KeepsPrefixInText()) sortFlags |= kCsvSortSkipPrefix;
        table_.Sort(sortFlags, column);
        RowsChanged();
        ClearRowStates(LVIS_SELECTED);
        InvalidateRect(window_, nullptr, TRUE);
    }
    ListViewSortArrow(window_, column, descending ? kSortDescending : kSortAscending, kSortArrowClearOthers);
    return TRUE;
}

LRESULT Grid::OnSetCellButton(WPARAM icon, const char* tip) {
    HWND button = editor_ ? cellButton_ : nullptr;
    if (!button) return FALSE;
    if (icon != JX_GRID_ICON_UNCHANGED) {
        HICON image = icon == JX_GRID_ICON_LIBRARY ? GetLibraryIcon1() : reinterpret_cast<HICON>(icon);
        SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(image));
    }
    if (tip) {
        if (!cellButtonTip_.Tooltip()) cellButtonTip_.Create(window_, 0, 0);
        cellButtonTip_.AddTool(TTF_SUBCLASS, button, tip);
    }
    return TRUE;
}

// ---- Notifications

LRESULT Grid::SendNotify(NMHDR& header, UINT code) {
    header.hwndFrom = window_;
    header.idFrom = UINT_PTR(GetDlgCtrlID(window_));
    header.code = code;
    const int outer = notifying_;
    notifying_ = int(code);
    const LRESULT result = SendMessageW(Parent(), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    notifying_ = outer;
    return result;
}

LRESULT Grid::NotifyAboutEditor(GridNotify& record, UINT code) {
    const LRESULT result = SendNotify(record.header, code);
    if (editor_ && IsWindow(editor_)) SetFocus(editor_);
    return result;
}

void Grid::NotifyChange(int reason) {
    if (editorOpening_) return;
    if (editor_)
        NotifyCellChange(reason, editorRow_, editorColumn_, editorKind_);
    else
        NotifyCellChange(reason, -1, -1, 0);
}

GridNotify Grid::CellNotice(int row, int column, unsigned kind) const {
    GridNotify record = {};
    record.editor = editor_;
    record.list = editorList_;
    record.kind = kind;
    record.row = row;
    record.column = column;
    record.index = -1;
    record.text = IsRow(row) && IsColumn(column) ? Cell(row, column) : nullptr;
    return record;
}

void Grid::NotifyCellChange(int reason, int row, int column, unsigned kind) {
    if (notifying_) return;
    modified_ = true;
    GridNotify record = CellNotice(row, column, kind);
    record.reason = reason;
    SendNotify(record.header, UINT(JX_GRID_CHANGED));
    if (editor_ && IsWindow(editor_)) SetFocus(editor_);
}

}  // namespace grid
