// The combo box, class JX_ComboBox (messages and flags in jx/combo_box.h):
// a superclass of the system combo box whose control object is itself the
// CSV table of its items and opens the dropdown list on itself. The object
// is made at WM_NCCREATE and released at WM_NCDESTROY; every message being
// handled holds a reference, so an owner may destroy the window from a
// notification.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "csv/csv_table.h"
#include "jx/combo_box.h"
#include "text/str.h"

namespace controls {

class ComboBox final : public CsvTable {
public:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    explicit ComboBox(HWND window);
    ~ComboBox() override = default;

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallBase(UINT message, WPARAM wParam, LPARAM lParam) const;
    void OnCreate();
    void OnNcDestroy();
    LRESULT OnKeyDown(UINT message, WPARAM key, LPARAM keyData);
    LRESULT OnLButtonDown(LPARAM point);
    LRESULT OnInsertString(int index, const wchar_t* row);
    LRESULT OnDeleteString(int index);
    LRESULT OnResetContent();
    LRESULT OnGetText(int index, wchar_t* buffer, bool lengthOnly);
    LRESULT OnFindString(int start, const wchar_t* text, bool exact);
    LRESULT OnSetCurSel(int index);
    LRESULT OnShowDropdown(bool show);
    LRESULT OnGetItemData(int index);
    LRESULT OnSetItemData(int index, LPARAM data);
    LRESULT OnSetSel(bool checked, int index);
    LRESULT OnGetSel(int index);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnDialogData(WPARAM direction, JxString* data);
    void GetData(str& out);
    void SetData(const char* csv);

    static LRESULT CALLBACK EditSubclass(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    LRESULT OnEditMessage(UINT message, WPARAM wParam, LPARAM lParam);
    static int __stdcall OnPopupEvent(void* self, const DropdownEvent* event);

    // ---- The list and the state
    // Opens the list; true when it was shown.
    bool OpenList();
    // Cell (0,0) from the state: the bits, or the selection with the typed text.
    void WriteState();
    void TakeTypedText();
    // The first item (not disabled) whose text matches, in the passes that
    // the flags allow; -1 when none.
    int MatchItem(const char* text);
    int AppendItem(const char* text, const char* flags);
    bool IsItem(int index) const { return unsigned(index) < unsigned(itemCount_); }
    bool IsChecked(int index) const;
    void StoreCheck(int index, bool checked);
    int CheckMode() const { return flags_ & JX_COMBO_CHECKMODE_MASK; }
    bool IsBitmask() const { return flags_ & JX_DROPDOWN_HEADER_BITMASK; }
    bool CanChange() const { return !popup_; }
    void CountItems();
    int CellNumber(int row, int column, int otherwise) const;

    // ---- The display
    enum class Update { kRequest, kLoad, kSetData };
    void Display(Update update);
    void PostDisplayUpdate();
    void RunPostedUpdate();
    void SetDisplayText(const char* text);
    void EditTextChanged();
    void Notify(WORD code);

    str text_;  // conversions
    HWND window_;
    HWND edit_ = nullptr;
    WNDPROC editClassProcedure_ = nullptr;
    unsigned flags_ = 0;
    unsigned bits_ = 0;
    int columnCount_ = 1;
    int itemCount_ = 0;
    int selection_ = -1;
    bool editChanged_ = false;
    bool updatePosted_ = false;
    bool settingText_ = false;   // the control itself writes the edit field
    bool movingFocus_ = false;   // the control itself moves the focus into the edit field
    IDropdownPopup* popup_ = nullptr;
};

}  // namespace controls
