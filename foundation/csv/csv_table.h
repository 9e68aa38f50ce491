// The CSV table object: rows of NUL-terminated fields behind a header area,
// read from and written to CSV text, files and SAFEARRAYs of str records.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <vector>
#include "csv/csv_scan.h"
#include "runtime/host_alloc.h"
#include "jx/csv_table.h"
#include "jx/text_functions.h"
#include "text/str.h"

// The host's string record and str are the same record.
static_assert(sizeof(JxString) == sizeof(str) && offsetof(JxString, len) == offsetof(str, len) &&
              offsetof(JxString, cap) == offsetof(str, cap) && offsetof(JxString, flags) == offsetof(str, flags));
inline JxString* AsJxString(str& s) { return reinterpret_cast<JxString*>(&s); }
inline str& AsStr(JxString* s) { return *reinterpret_cast<str*>(s); }

// The field after `column` NUL terminators of `fields`.
inline const char* FieldAt(const char* fields, int column) { return SkipFields(fields, column); }
inline char* FieldAt(char* fields, int column) {
    return const_cast<char*>(SkipFields(static_cast<const char*>(fields), column));
}
// Bytes of `count` fields, NULs included.
inline size_t FieldsSize(const char* fields, int count) { return size_t(SkipFields(fields, count) - fields); }

// Appends one row as CSV text: each field (quoted where the rules say) and
// the separator after it, CR LF after the last; nothing for no fields. The
// scanner stops at the table's separator.
void AppendCsvRow(str& out, const char* fields, int fieldCount, CsvStopScanner& stops);

// Sort order of two fields under the Sort flags (CsvSortFlag and CompareEx's bits).
class CsvFieldOrder {
public:
    explicit CsvFieldOrder(unsigned flags) : flags_(flags) {}
    // The part of a field that is compared.
    const char* Key(const char* field) const;
    bool Less(const char* keyA, const char* keyB) const;

private:
    unsigned flags_;
};

class CsvTable : public ICsvTable, public HostObject {
public:
    using RowList = std::vector<char*, HostAllocator<char*>>;

    CsvTable() = default;
    virtual ~CsvTable();
    CsvTable(const CsvTable&) = delete;
    CsvTable& operator=(const CsvTable&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SetSeparator(const char* text) override;
    HRESULT STDMETHODCALLTYPE GetSeparator(const char** separator) override;
    HRESULT STDMETHODCALLTYPE FromText(const char* text) override;
    HRESULT STDMETHODCALLTYPE ToText(JxString* text) override;
    HRESULT STDMETHODCALLTYPE FromFile(const char* path) override;
    HRESULT STDMETHODCALLTYPE ToFile(const char* path, unsigned flags) override;
    HRESULT STDMETHODCALLTYPE FromArray(SAFEARRAY* array) override;
    HRESULT STDMETHODCALLTYPE ToArray(SAFEARRAY** array) override;
    HRESULT STDMETHODCALLTYPE FromControl(HWND window, unsigned flags) override;
    HRESULT STDMETHODCALLTYPE ToControl(HWND window, unsigned flags) override;
    HRESULT STDMETHODCALLTYPE Clear() override;
    HRESULT STDMETHODCALLTYPE GetRowCount(int* count) override;
    HRESULT STDMETHODCALLTYPE GetColumnCount(int* count) override;
    HRESULT STDMETHODCALLTYPE SetColumnCount(int count) override;
    HRESULT STDMETHODCALLTYPE GetCell(int row, int column, const char** text) override;
    HRESULT STDMETHODCALLTYPE SetCell(int row, int column, const char* text) override;
    HRESULT STDMETHODCALLTYPE GetCellInt(int row, int column, int* value) override;
    HRESULT STDMETHODCALLTYPE SetCellInt(int row, int column, int value) override;
    HRESULT STDMETHODCALLTYPE SetCellHex(int row, int column, unsigned value) override;
    HRESULT STDMETHODCALLTYPE RemoveRow(int row) override;
    HRESULT STDMETHODCALLTYPE InsertRowPacked(int row, int fieldCount, const char* fields, int firstColumn,
                                              int* newRow) override;
    HRESULT STDMETHODCALLTYPE InsertRowTexts(int row, int fieldCount, const char* const* fields, int firstColumn,
                                             int* newRow) override;
    HRESULT STDMETHODCALLTYPE InsertRowStrings(int row, int fieldCount, const JxString* fields, int firstColumn,
                                               int* newRow) override;
    HRESULT STDMETHODCALLTYPE InsertRow1(int row, const char* field0, int* newRow) override;
    HRESULT STDMETHODCALLTYPE InsertRow2(int row, const char* field0, const char* field1, int* newRow) override;
    HRESULT STDMETHODCALLTYPE InsertRow3(int row, const char* field0, const char* field1, const char* field2,
                                         int* newRow) override;
    HRESULT STDMETHODCALLTYPE InsertRowsFromText(int row, const char* text, int* firstRow) override;
    HRESULT STDMETHODCALLTYPE ReplaceRowsFromText(int row, const char* text, int* firstRow) override;
    HRESULT STDMETHODCALLTYPE ReplaceRowPacked(int row, int fieldCount, const char* fields, int firstColumn,
                                               int* newRow) override;
    HRESULT STDMETHODCALLTYPE ReplaceRowTexts(int row, int fieldCount, const char* const* fields, int firstColumn,
                                              int* newRow) override;
    HRESULT STDMETHODCALLTYPE ReplaceRowStrings(int row, int fieldCount, const JxString* fields, int firstColumn,
                                                int* newRow) override;
    HRESULT STDMETHODCALLTYPE GetRowFields(int row, JxString* fields) override;
    HRESULT STDMETHODCALLTYPE MoveRow(int from, int to) override;
    HRESULT STDMETHODCALLTYPE InsertColumn(int column) override;
    HRESULT STDMETHODCALLTYPE RemoveColumn(int column) override;
    HRESULT STDMETHODCALLTYPE SetRowHeaderSize(int size) override;
    HRESULT STDMETHODCALLTYPE GetRowHeaderSize(int* size) override;
    HRESULT STDMETHODCALLTYPE GetRowHeader(int row, void** header) override;
    HRESULT STDMETHODCALLTYPE Sort(unsigned flags, int column) override;
    HRESULT STDMETHODCALLTYPE Find(const char* text, unsigned matchFlags, int column, int firstRow,
                                   int* row) override;

    // The same over str, for the libraries' own callers.
    HRESULT ToText(str& text) { return ToText(AsJxString(text)); }
    HRESULT GetRowFields(int row, str& fields) { return GetRowFields(row, AsJxString(fields)); }

    // InsertRow* (replace false) and ReplaceRow* in one: `fields` in the
    // CsvFieldForm `form`, which is checked like the other arguments.
    HRESULT PutRow(bool replace, int row, int fieldCount, const void* fields, int form, int firstColumn,
                   int* newRow);

    // Direct access for the libraries: the row blocks, each the header
    // followed by ColumnCount() fields.
    int RowCount() const { return int(rows_.size()); }
    int ColumnCount() const { return columns_; }
    int RowHeaderSize() const { return headerSize_; }
    char* Row(int row) const { return rows_[size_t(row)]; }
    const char* Fields(int row) const { return rows_[size_t(row)] + headerSize_; }
    // The separator, resolved from the user's settings when it is 0.
    char Separator();
    // Exchanges the rows, the column count and the header size with `other`.
    void Swap(CsvTable& other) noexcept;
    // Puts the rows in the order `order` gives: a permutation of the row
    // indexes, the new row i being the old row order[i].
    void ReorderRows(const int* order);

private:
    bool IsRow(int row) const { return unsigned(row) < rows_.size(); }
    // Header and fields of a row block.
    size_t RowSize(const char* row) const;
    void FreeRows();
    // Every block `extra` bytes larger before anything moves, so that running
    // out of memory leaves the rows as they were.
    void GrowRows(size_t extra);
    // Capacity for `count` more rows, so that adding them cannot throw.
    void MakeRoomForRows(size_t count);
    void WidenTo(int columns);
    HRESULT ParseText(const char* text, size_t length);
    HRESULT PutRowsFromText(bool replace, int row, const char* text, int* firstRow);

    LONG refCount_ = 1;
    RowList rows_;
    int columns_ = 0;
    int headerSize_ = 0;
    char separator_[2] = {',', 0};
};
