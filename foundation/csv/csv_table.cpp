// CsvTable: the object, rows and cells, columns, row headers, SAFEARRAYs,
// Sort and Find. The CSV text itself is in csv_text.cpp.
#include <string.h>
#include <algorithm>
#include <memory>
#include "csv/csv_table.h"
#include "csv/quick_sort.h"
#include "jx/grid.h"
#include "text/numbers.h"
#include "text/record_info.h"
#include "regex/regex.h"

namespace {

struct RowFree {
    void operator()(char* row) const noexcept { HostFree(row); }
};
using RowBlock = std::unique_ptr<char, RowFree>;

struct SafeArrayFree {
    void operator()(SAFEARRAY* array) const noexcept { DestroySafeArray(array); }
};
using SafeArrayOwner = std::unique_ptr<SAFEARRAY, SafeArrayFree>;

struct ComRelease {
    void operator()(IUnknown* object) const noexcept { object->Release(); }
};

// Keeps a SAFEARRAY's data locked while it is read.
class SafeArrayData {
public:
    explicit SafeArrayData(SAFEARRAY* array) : array_(array) {
        if (FAILED(SafeArrayAccessData(array, &data_))) data_ = nullptr;
    }
    ~SafeArrayData() {
        if (data_) SafeArrayUnaccessData(array_);
    }
    SafeArrayData(const SafeArrayData&) = delete;
    SafeArrayData& operator=(const SafeArrayData&) = delete;
    void* Get() const { return data_; }

private:
    SAFEARRAY* array_;
    void* data_ = nullptr;
};

// The given fields of PutRow, read one after another in any of the forms.
class FieldSource {
public:
    FieldSource(int form, const void* fields) : form_(form), fields_(fields) {}
    // The next field's text ("" for a null one).
    const char* Next() {
        const char* text;
        switch (form_) {
            case kCsvFieldsPacked:
                text = static_cast<const char*>(fields_);
                fields_ = text + strlen(text) + 1;
                return text;
            case kCsvFieldsTexts: {
                const auto* texts = static_cast<const char* const*>(fields_);
                text = *texts;
                fields_ = texts + 1;
                break;
            }
            default: {
                const auto* strings = static_cast<const JxString*>(fields_);
                text = strings->buf;
                fields_ = strings + 1;
                break;
            }
        }
        return text ? text : "";
    }

private:
    int form_;
    const void* fields_;
};

// One row of the table while Sort orders them.
struct SortEntry {
    const char* key;
    char* row;
};

}  // namespace

const char* CsvFieldOrder::Key(const char* field) const {
    if ((flags_ & kCsvSortSkipPrefix) && field[0] == '<') {
        if (const char* close = strchr(field, '>')) return close + 1;
    }
    return field;
}

bool CsvFieldOrder::Less(const char* keyA, const char* keyB) const {
    const int order = CompareEx(keyA, keyB, flags_);
    return (flags_ & kCsvSortReverse) ? order > 0 : order < 0;
}

CsvTable::~CsvTable() { FreeRows(); }

void CsvTable::FreeRows() {
    for (char* row : rows_) HostFree(row);
    RowList().swap(rows_);
    columns_ = 0;
}

size_t CsvTable::RowSize(const char* row) const {
    return size_t(headerSize_) + FieldsSize(row + headerSize_, columns_);
}

void CsvTable::GrowRows(size_t extra) {
    for (char*& row : rows_) row = static_cast<char*>(HostReallocOrRaise(row, RowSize(row) + extra));
}

void CsvTable::MakeRoomForRows(size_t count) {
    const size_t needed = rows_.size() + count;
    if (needed > rows_.capacity()) rows_.reserve(std::max(needed, rows_.capacity() * 2));
}

void CsvTable::WidenTo(int columns) {
    const size_t added = size_t(columns - columns_);
    GrowRows(added);
    for (char* row : rows_) memset(row + RowSize(row), 0, added);
    columns_ = columns;
}

HRESULT CsvTable::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ICsvTable)) {
        AddRef();
        *object = static_cast<ICsvTable*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CsvTable::AddRef() { return ULONG(InterlockedIncrement(&refCount_)); }

ULONG CsvTable::Release() {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return ULONG(count);
}

namespace {

// The grid's row exchange with the table as its partner.
HRESULT ExchangeWithGrid(HWND window, unsigned flags, unsigned char direction, CsvTable& table,
                         GridRowCallback callback) {
    GridRowExchange exchange = {};
    exchange.context = &table;
    exchange.callback = callback;
    exchange.direction = direction;
    exchange.flags = flags;
    exchange.rowCount = table.RowCount();
    exchange.columnCount = table.ColumnCount();
    return SendMessageW(window, JX_GRID_EXCHANGEROWS, 0, reinterpret_cast<LPARAM>(&exchange)) ? S_OK : E_FAIL;
}

int __cdecl TakeGridRow(GridRowExchange* exchange) {
    auto* table = static_cast<CsvTable*>(exchange->context);
    return FAILED(table->InsertRowPacked(table->RowCount(), exchange->columnCount, exchange->fields, 0, nullptr));
}

int __cdecl GiveGridRow(GridRowExchange* exchange) {
    exchange->fields = static_cast<CsvTable*>(exchange->context)->Fields(exchange->rowIndex);
    return 0;
}

}  // namespace

HRESULT CsvTable::FromControl(HWND window, unsigned flags) {
    FreeRows();
    const HRESULT hr = ExchangeWithGrid(window, flags, JX_GRID_EXCHANGE_OUT, *this, TakeGridRow);
    if (FAILED(hr)) FreeRows();
    return hr;
}

HRESULT CsvTable::ToControl(HWND window, unsigned flags) {
    return ExchangeWithGrid(window, flags, JX_GRID_EXCHANGE_IN, *this, GiveGridRow);
}

void CsvTable::Swap(CsvTable& other) noexcept {
    rows_.swap(other.rows_);
    std::swap(columns_, other.columns_);
    std::swap(headerSize_, other.headerSize_);
}

void CsvTable::ReorderRows(const int* order) {
    RowList reordered(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) reordered[i] = rows_[size_t(order[i])];
    rows_.swap(reordered);
}

HRESULT CsvTable::Clear() {
    FreeRows();
    return S_OK;
}

HRESULT CsvTable::GetRowCount(int* count) {
    if (!count) return E_INVALIDARG;
    *count = RowCount();
    return S_OK;
}

HRESULT CsvTable::GetColumnCount(int* count) {
    if (!count) return E_INVALIDARG;
    *count = columns_;
    return S_OK;
}

HRESULT CsvTable::SetColumnCount(int count) {
    if (count < 0 || count > kCsvMaxColumns) return E_INVALIDARG;
    if (count > columns_) {
        WidenTo(count);
    } else {
        // The surplus fields stay behind the last one, unseen, until a
        // widening overwrites them.
        columns_ = count;
    }
    return S_OK;
}

HRESULT CsvTable::GetCell(int row, int column, const char** text) {
    if (!text) return E_INVALIDARG;
    *text = nullptr;
    if (!IsRow(row) || unsigned(column) >= unsigned(columns_)) return E_INVALIDARG;
    *text = FieldAt(Fields(row), column);
    return S_OK;
}

HRESULT CsvTable::SetCell(int row, int column, const char* text) {
    if (column < 0 || column >= kCsvMaxColumns || row > RowCount()) return E_INVALIDARG;
    const bool append = row < 0 || row == RowCount();
    return PutRow(!append, append ? RowCount() : row, 1, &text, kCsvFieldsTexts, column, nullptr);
}

HRESULT CsvTable::GetCellInt(int row, int column, int* value) {
    if (!value) return E_INVALIDARG;
    *value = 0;
    const char* text;
    const HRESULT hr = GetCell(row, column, &text);
    if (FAILED(hr)) return hr;
    const char* end;
    *value = int(ParseFlags(text, &end));
    return end == text ? S_FALSE : S_OK;
}

HRESULT CsvTable::SetCellInt(int row, int column, int value) {
    str text;
    text.SetInt(value);
    return SetCell(row, column, text.Text());
}

HRESULT CsvTable::SetCellHex(int row, int column, unsigned value) {
    str text;
    text.Format("0x%x", value);
    return SetCell(row, column, text.Text());
}

HRESULT CsvTable::RemoveRow(int row) {
    if (!IsRow(row)) return E_INVALIDARG;
    HostFree(rows_[size_t(row)]);
    rows_.erase(rows_.begin() + row);
    return S_OK;
}

HRESULT CsvTable::PutRow(bool replace, int row, int fieldCount, const void* fields, int form, int firstColumn,
                         int* newRow) {
    if (fieldCount < 0 || firstColumn < 0 || int64_t(fieldCount) + firstColumn > kCsvMaxColumns ||
        unsigned(form) > kCsvFieldsStrings || (fieldCount > 0 && !fields))
        return E_INVALIDARG;
    const int endColumn = firstColumn + fieldCount;
    const int wanted = columns_ == 0 ? std::max(endColumn, 1) : endColumn;
    str packed;
    if (wanted > columns_) {
        // Widening moves the rows, where the given texts may lie: copy them first.
        FieldSource source(form, fields);
        for (int i = 0; i < fieldCount; ++i) packed.AppendWithNul(source.Next());
        fields = packed.buf;
        form = kCsvFieldsPacked;
        WidenTo(wanted);
    }
    replace = replace && IsRow(row);
    const char* old = replace ? Fields(row) : nullptr;
    const char* oldGiven = replace ? FieldAt(old, firstColumn) : nullptr;
    const char* oldAfter = replace ? FieldAt(oldGiven, fieldCount) : nullptr;
    const size_t beforeSize = replace ? size_t(oldGiven - old) : size_t(firstColumn);
    const size_t afterSize = replace ? FieldsSize(oldAfter, columns_ - endColumn) : size_t(columns_ - endColumn);

    size_t givenSize = 0;
    FieldSource sizes(form, fields);
    for (int i = 0; i < fieldCount; ++i) givenSize += strlen(sizes.Next()) + 1;

    if (!replace) MakeRoomForRows(1);
    RowBlock block(static_cast<char*>(HostAllocOrRaise(size_t(headerSize_) + beforeSize + givenSize + afterSize)));
    char* to = block.get();
    if (replace) {
        memcpy(to, rows_[size_t(row)], size_t(headerSize_) + beforeSize);
    } else {
        memset(to, 0, size_t(headerSize_) + beforeSize);
    }
    to += size_t(headerSize_) + beforeSize;
    FieldSource given(form, fields);
    for (int i = 0; i < fieldCount; ++i) {
        const char* text = given.Next();
        const size_t size = strlen(text) + 1;
        memcpy(to, text, size);
        to += size;
    }
    if (replace)
        memcpy(to, oldAfter, afterSize);
    else
        memset(to, 0, afterSize);

    if (replace) {
        HostFree(rows_[size_t(row)]);
        rows_[size_t(row)] = block.release();
    } else {
        if (!IsRow(row)) row = RowCount();
        rows_.insert(rows_.begin() + row, block.release());
    }
    if (newRow) *newRow = row;
    return S_OK;
}

HRESULT CsvTable::InsertRowPacked(int row, int fieldCount, const char* fields, int firstColumn, int* newRow) {
    return PutRow(false, row, fieldCount, fields, kCsvFieldsPacked, firstColumn, newRow);
}

HRESULT CsvTable::InsertRowTexts(int row, int fieldCount, const char* const* fields, int firstColumn, int* newRow) {
    return PutRow(false, row, fieldCount, fields, kCsvFieldsTexts, firstColumn, newRow);
}

HRESULT CsvTable::InsertRowStrings(int row, int fieldCount, const JxString* fields, int firstColumn, int* newRow) {
    return PutRow(false, row, fieldCount, fields, kCsvFieldsStrings, firstColumn, newRow);
}

HRESULT CsvTable::InsertRow1(int row, const char* field0, int* newRow) {
    return InsertRowTexts(row, 1, &field0, 0, newRow);
}

HRESULT CsvTable::InsertRow2(int row, const char* field0, const char* field1, int* newRow) {
    const char* fields[] = {field0, field1};
    return InsertRowTexts(row, 2, fields, 0, newRow);
}

HRESULT CsvTable::InsertRow3(int row, const char* field0, const char* field1, const char* field2, int* newRow) {
    const char* fields[] = {field0, field1, field2};
    return InsertRowTexts(row, 3, fields, 0, newRow);
}

HRESULT CsvTable::ReplaceRowPacked(int row, int fieldCount, const char* fields, int firstColumn, int* newRow) {
    return PutRow(true, row, fieldCount, fields, kCsvFieldsPacked, firstColumn, newRow);
}

HRESULT CsvTable::ReplaceRowTexts(int row, int fieldCount, const char* const* fields, int firstColumn, int* newRow) {
    return PutRow(true, row, fieldCount, fields, kCsvFieldsTexts, firstColumn, newRow);
}

HRESULT CsvTable::ReplaceRowStrings(int row, int fieldCount, const JxString* fields, int firstColumn, int* newRow) {
    return PutRow(true, row, fieldCount, fields, kCsvFieldsStrings, firstColumn, newRow);
}

HRESULT CsvTable::PutRowsFromText(bool replace, int row, const char* text, int* firstRow) {
    if (firstRow) *firstRow = -1;
    CsvTable parsed;
    parsed.separator_[0] = Separator();
    const HRESULT hr = parsed.FromText(text);
    if (hr != S_OK) return hr;
    const int first = IsRow(row) ? row : RowCount();
    if (replace) {
        for (int i = 0; i < parsed.RowCount(); ++i)
            PutRow(true, first + i, parsed.columns_, parsed.Fields(i), kCsvFieldsPacked, 0, nullptr);
    } else {
        // The parsed rows take this table's shape and move over in one step.
        const int columns = std::max(columns_, parsed.columns_);
        if (columns > columns_) WidenTo(columns);
        parsed.SetRowHeaderSize(headerSize_);
        parsed.SetColumnCount(columns);
        MakeRoomForRows(parsed.rows_.size());
        rows_.insert(rows_.begin() + first, parsed.rows_.begin(), parsed.rows_.end());
        parsed.rows_.clear();
    }
    if (firstRow) *firstRow = first;
    return S_OK;
}

HRESULT CsvTable::InsertRowsFromText(int row, const char* text, int* firstRow) {
    return PutRowsFromText(false, row, text, firstRow);
}

HRESULT CsvTable::ReplaceRowsFromText(int row, const char* text, int* firstRow) {
    return PutRowsFromText(true, row, text, firstRow);
}

HRESULT CsvTable::GetRowFields(int row, JxString* fields) {
    if (!fields || !IsRow(row)) return E_INVALIDARG;
    const size_t size = FieldsSize(Fields(row), columns_);
    str& out = AsStr(fields);
    out.Alloc(int(size));
    memcpy(out.buf, Fields(row), size);
    return S_OK;
}

HRESULT CsvTable::MoveRow(int from, int to) {
    if (!IsRow(from) || !IsRow(to)) return E_INVALIDARG;
    const auto source = rows_.begin() + from, target = rows_.begin() + to;
    if (from < to)
        std::rotate(source, source + 1, target + 1);
    else
        std::rotate(target, source, source + 1);
    return S_OK;
}

HRESULT CsvTable::InsertColumn(int column) {
    if (columns_ >= kCsvMaxColumns) return E_INVALIDARG;
    if (unsigned(column) >= unsigned(columns_)) return SetColumnCount(columns_ + 1);
    GrowRows(1);
    for (char* row : rows_) {
        char* at = FieldAt(row + headerSize_, column);
        memmove(at + 1, at, size_t(row + RowSize(row) - at));
        *at = 0;
    }
    ++columns_;
    return S_OK;
}

HRESULT CsvTable::RemoveColumn(int column) {
    if (unsigned(column) >= unsigned(columns_)) return E_INVALIDARG;
    for (char* row : rows_) {
        char* at = FieldAt(row + headerSize_, column);
        const char* next = at + strlen(at) + 1;
        memmove(at, next, size_t(row + RowSize(row) - next));
    }
    --columns_;
    return S_OK;
}

HRESULT CsvTable::SetRowHeaderSize(int size) {
    if (size < 0 || size > kCsvMaxRowHeader) return E_INVALIDARG;
    if (size > headerSize_) GrowRows(size_t(size - headerSize_));
    for (char* row : rows_) {
        const size_t fieldsSize = FieldsSize(row + headerSize_, columns_);
        memmove(row + size, row + headerSize_, fieldsSize);
        if (size > headerSize_) memset(row + headerSize_, 0, size_t(size - headerSize_));
    }
    headerSize_ = size;
    return S_OK;
}

HRESULT CsvTable::GetRowHeaderSize(int* size) {
    if (!size) return E_INVALIDARG;
    *size = headerSize_;
    return S_OK;
}

HRESULT CsvTable::GetRowHeader(int row, void** header) {
    if (!header) return E_INVALIDARG;
    *header = nullptr;
    if (!IsRow(row) || headerSize_ == 0) return E_INVALIDARG;
    *header = rows_[size_t(row)];
    return S_OK;
}

HRESULT CsvTable::FromArray(SAFEARRAY* array) {
    FreeRows();
    if (!array) return S_OK;
    if (SafeArrayGetDim(array) != 2 || !(array->fFeatures & FADF_RECORD) || array->cbElements != sizeof(str))
        return E_INVALIDARG;
    IRecordInfo* info = nullptr;
    if (FAILED(SafeArrayGetRecordInfo(array, &info)) || !info) return E_INVALIDARG;
    const std::unique_ptr<IUnknown, ComRelease> infoReference(info);
    if (!StrRecordInfo()->IsMatchingType(info)) return E_INVALIDARG;

    // Dimension 1 (the leftmost, varying fastest) is the column.
    LONG lower[2], upper[2];
    for (UINT dimension = 1; dimension <= 2; ++dimension) {
        if (FAILED(SafeArrayGetLBound(array, dimension, &lower[dimension - 1])) ||
            FAILED(SafeArrayGetUBound(array, dimension, &upper[dimension - 1])))
            return E_INVALIDARG;
    }
    const int64_t columns = int64_t(upper[0]) - lower[0] + 1, rows = int64_t(upper[1]) - lower[1] + 1;
    if (columns <= 0 || rows <= 0) return S_OK;
    if (columns > kCsvMaxColumns) return E_INVALIDARG;
    const SafeArrayData data(array);
    if (!data.Get()) return E_INVALIDARG;
    const auto* records = static_cast<const JxString*>(data.Get());
    MakeRoomForRows(size_t(rows));
    for (int64_t row = 0; row < rows; ++row)
        PutRow(false, RowCount(), int(columns), records + row * columns, kCsvFieldsStrings, 0, nullptr);
    return S_OK;
}

HRESULT CsvTable::ToArray(SAFEARRAY** array) {
    if (!array) return E_INVALIDARG;
    DestroySafeArray(*array);
    *array = nullptr;
    if (rows_.empty() || columns_ == 0) return S_OK;
    SAFEARRAYBOUND bounds[2] = {{ULONG(columns_), 0}, {ULONG(rows_.size()), 0}};
    SafeArrayOwner created(SafeArrayCreateEx(VT_RECORD, 2, bounds, StrRecordInfo()));
    if (!created) return E_OUTOFMEMORY;
    str* records = static_cast<str*>(created->pvData);
    memset(static_cast<void*>(records), 0, sizeof(str) * size_t(columns_) * rows_.size());
    for (const char* row : rows_) {
        const char* field = row + headerSize_;
        for (int column = 0; column < columns_; ++column) {
            records->Assign(field);
            field += records->len + 1;
            ++records;
        }
    }
    *array = created.release();
    return S_OK;
}

HRESULT CsvTable::Sort(unsigned flags, int column) {
    if (unsigned(column) >= unsigned(columns_)) return E_INVALIDARG;
    const size_t first = (flags & kCsvSortKeepHeaderRow) ? 1 : 0;
    if (rows_.size() < first + 2) return S_OK;
    const CsvFieldOrder order(flags);
    std::vector<SortEntry, HostAllocator<SortEntry>> entries(rows_.size() - first);
    for (size_t i = 0; i < entries.size(); ++i) {
        char* row = rows_[first + i];
        entries[i] = {order.Key(FieldAt(row + headerSize_, column)), row};
    }
    QuickSort(entries.data(), entries.size(),
              [&order](const SortEntry& a, const SortEntry& b) { return order.Less(a.key, b.key); });
    for (size_t i = 0; i < entries.size(); ++i) rows_[first + i] = entries[i].row;
    return S_OK;
}

HRESULT CsvTable::Find(const char* text, unsigned matchFlags, int column, int firstRow, int* row) {
    if (!row) return E_INVALIDARG;
    *row = -1;
    if (unsigned(column) >= unsigned(columns_)) return E_INVALIDARG;
    // A pattern is compiled once for all rows instead of once per row.
    RegexPattern compiled;
    constexpr unsigned kOtherKinds = kMatchAnyStartsWith | kMatchAnyEndsWith | kMatchAnyWildcard | kMatchAnyContains;
    if ((matchFlags & kMatchAnyRegex) && !(matchFlags & kOtherKinds) && text) {
        compiled = RegexCompile(text, (matchFlags & kMatchAnyIgnoreCase) ? uint32_t(kRegexIgnoreCase) : 0u);
        text = reinterpret_cast<const char*>(compiled.get());
        matchFlags = (matchFlags & ~unsigned(kMatchAnyRegex)) | kMatchAnyCompiledRegex;
    }
    for (int candidate = std::max(firstRow, 0); candidate < RowCount(); ++candidate) {
        if (MatchAnyOf(matchFlags, FieldAt(Fields(candidate), column), &text, 1)) {
            *row = candidate;
            return S_OK;
        }
    }
    return S_FALSE;
}
