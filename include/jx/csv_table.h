// The CSV table object of jxgrid.dll, for hosts that hold one through its
// COM-style interface (the grid's row store, the combo box's items and the
// data source of the dropdown functions).
//
// A table is rows of NUL-terminated 8-bit fields (in the allocator table's
// code page), every row with the same number of fields, each row one heap
// block that starts with a caller-owned header area of the row header size.
// Rows and columns count from 0. Results are S_OK, S_FALSE, E_INVALIDARG,
// E_OUTOFMEMORY or the HRESULT of a system error. Texts handed out point into
// the table and stay valid until the row changes.
//
// CSV text: fields are separated by the separator and rows end with CR LF
// (CR, LF or CR LF when reading). Spaces before a field and after an
// unquoted field are dropped when reading; a field written in double quotes
// keeps its content as is, with "" standing for one quote. Writing quotes a
// field only when its first or last byte is 0x20 or below or when it holds
// the separator, a quote, CR or LF; empty fields write nothing.
#pragma once
#include <windows.h>
#include <oaidl.h>

#ifdef __cplusplus

struct JxString;  // the libraries' string record, see jx/text_functions.h

// {3426CF3C-F7C1-4322-A292-463DB8729B54}
inline constexpr GUID IID_ICsvTable = {0x3426CF3C, 0xF7C1, 0x4322, {0xA2, 0x92, 0x46, 0x3D, 0xB8, 0x72, 0x9B, 0x54}};

// Limits
inline constexpr int kCsvMaxColumns = 65536;
inline constexpr int kCsvMaxRowHeader = 1048576;

// ToFile flags
enum CsvFileFlag : unsigned {
    kCsvFileAppend = 0x1,    // write after the file's current content
    kCsvFileSafe = 0x100,    // write through a "-newtmp" file that replaces the target at the end
    kCsvFileBackup = 0x200,  // as kCsvFileSafe, keeping the old target as "-backup"
};

// Sort flags; the low bits are the comparison flags of the libraries'
// string comparison (1 ignore case, 2 UTF-16 comparison, 4 digits as
// numbers, 0x80 dates)
enum CsvSortFlag : unsigned {
    kCsvSortReverse = 0x100,
    kCsvSortSkipPrefix = 0x10000,     // a leading "<...>" of a field does not count
    kCsvSortKeepHeaderRow = 0x20000,  // row 0 stays in place
};

// The forms of the fields given to InsertRow and ReplaceRow
enum CsvFieldForm : int {
    kCsvFieldsPacked = 0,   // one block of back-to-back NUL-terminated texts
    kCsvFieldsTexts = 1,    // an array of text pointers (null counts as "")
    kCsvFieldsStrings = 2,  // an array of JxString records (null text counts as "")
};

// Operations in slot order after IUnknown's three.
struct ICsvTable : public IUnknown {
    // The first byte of `text`; null or "" means the user's list separator
    // (read when next needed). CR, LF and the double quote fail.
    virtual HRESULT STDMETHODCALLTYPE SetSeparator(const char* text) = 0;
    // The separator as a one-character text inside the table.
    virtual HRESULT STDMETHODCALLTYPE GetSeparator(const char** separator) = 0;
    // Replaces the rows with those of the CSV text: S_FALSE when it has none,
    // E_INVALIDARG (and no rows) when it is malformed.
    virtual HRESULT STDMETHODCALLTYPE FromText(const char* text) = 0;
    virtual HRESULT STDMETHODCALLTYPE ToText(JxString* text) = 0;
    // As FromText with the bytes of a file.
    virtual HRESULT STDMETHODCALLTYPE FromFile(const char* path) = 0;
    // Writes the CSV text to a file; `flags` from CsvFileFlag.
    virtual HRESULT STDMETHODCALLTYPE ToFile(const char* path, unsigned flags) = 0;
    // A two-dimensional SAFEARRAY of JxString records (VT_RECORD), the
    // column index varying fastest: one row per step of the second index.
    virtual HRESULT STDMETHODCALLTYPE FromArray(SAFEARRAY* array) = 0;
    // Destroys *array, then creates such an array of the table (none for an empty table).
    virtual HRESULT STDMETHODCALLTYPE ToArray(SAFEARRAY** array) = 0;
    // Rows from and to a grid window through its row exchange
    // (JX_GRID_EXCHANGEROWS, jx/grid.h) with the exchange's `flags`; E_FAIL
    // when the grid refuses. FromControl leaves no rows then.
    virtual HRESULT STDMETHODCALLTYPE FromControl(HWND window, unsigned flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE ToControl(HWND window, unsigned flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRowCount(int* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetColumnCount(int* count) = 0;
    // Cuts fields off or appends empty fields to every row.
    virtual HRESULT STDMETHODCALLTYPE SetColumnCount(int count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCell(int row, int column, const char** text) = 0;
    // Widens the table for a new column; row = row count (or negative) appends a row.
    virtual HRESULT STDMETHODCALLTYPE SetCell(int row, int column, const char* text) = 0;
    // Decimal or 0x hexadecimal numbers joined by "|"; S_FALSE (0) without a number.
    virtual HRESULT STDMETHODCALLTYPE GetCellInt(int row, int column, int* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCellInt(int row, int column, int value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCellHex(int row, int column, unsigned value) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveRow(int row) = 0;
    // A new row at `row` (at the end when row is at or past the row count, or
    // negative): empty fields before firstColumn, the given fields, empty
    // fields after them. `newRow` (optional) receives its index.
    virtual HRESULT STDMETHODCALLTYPE InsertRowPacked(int row, int fieldCount, const char* fields, int firstColumn,
                                                      int* newRow) = 0;
    virtual HRESULT STDMETHODCALLTYPE InsertRowTexts(int row, int fieldCount, const char* const* fields,
                                                     int firstColumn, int* newRow) = 0;
    virtual HRESULT STDMETHODCALLTYPE InsertRowStrings(int row, int fieldCount, const JxString* fields,
                                                       int firstColumn, int* newRow) = 0;
    virtual HRESULT STDMETHODCALLTYPE InsertRow1(int row, const char* field0, int* newRow) = 0;
    virtual HRESULT STDMETHODCALLTYPE InsertRow2(int row, const char* field0, const char* field1, int* newRow) = 0;
    virtual HRESULT STDMETHODCALLTYPE InsertRow3(int row, const char* field0, const char* field1, const char* field2,
                                                 int* newRow) = 0;
    // The rows of a CSV text inserted from `row` on; S_FALSE (-1) when it has none.
    virtual HRESULT STDMETHODCALLTYPE InsertRowsFromText(int row, const char* text, int* firstRow) = 0;
    // The same, each row replacing the row at its position.
    virtual HRESULT STDMETHODCALLTYPE ReplaceRowsFromText(int row, const char* text, int* firstRow) = 0;
    // The given fields replace the row's fields from firstColumn on; the
    // header and the other fields stay. Past the end: as InsertRow.
    virtual HRESULT STDMETHODCALLTYPE ReplaceRowPacked(int row, int fieldCount, const char* fields, int firstColumn,
                                                       int* newRow) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReplaceRowTexts(int row, int fieldCount, const char* const* fields,
                                                      int firstColumn, int* newRow) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReplaceRowStrings(int row, int fieldCount, const JxString* fields,
                                                        int firstColumn, int* newRow) = 0;
    // The row's fields, NULs included, as one block.
    virtual HRESULT STDMETHODCALLTYPE GetRowFields(int row, JxString* fields) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveRow(int from, int to) = 0;
    // An empty field at `column` in every row (a column at or past the end is appended).
    virtual HRESULT STDMETHODCALLTYPE InsertColumn(int column) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveColumn(int column) = 0;
    // Zero bytes appended to, or the last bytes removed from, every row's header.
    virtual HRESULT STDMETHODCALLTYPE SetRowHeaderSize(int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRowHeaderSize(int* size) = 0;
    // The row's block; E_INVALIDARG when the header size is 0.
    virtual HRESULT STDMETHODCALLTYPE GetRowHeader(int row, void** header) = 0;
    // Sorts the rows by one column; `flags` from CsvSortFlag.
    virtual HRESULT STDMETHODCALLTYPE Sort(unsigned flags, int column) = 0;
    // The first row from firstRow on whose field in `column` matches `text`
    // under the MatchAny flags of the regular-expression wrapper (0 equal,
    // 1 ignore case, 2 wildcard, 4 starts with, 8 ends with, 0x10 contains,
    // 0x20 pattern); S_FALSE and -1 when none does.
    virtual HRESULT STDMETHODCALLTYPE Find(const char* text, unsigned matchFlags, int column, int firstRow,
                                           int* row) = 0;
};

#endif
