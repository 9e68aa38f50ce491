// The combo box: its class, its messages answered from the table, the edit
// field's subclass, opening the list, typed text and the display.
#include "combo_box.h"
#include "dropdown_popup.h"
#include <windowsx.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <new>
#include <vector>
#include "runtime/com_reference.h"
#include "runtime/errors.h"
#include "regex/regex.h"
#include "runtime/host_boundary.h"
#include "runtime/module_state.h"
#include "text/numbers.h"
#include "text/wide_text.h"
#include "window/window_class.h"
#include "window/window_utils.h"

namespace controls {
namespace {

constexpr UINT_PTR kEditSubclassId = 1;
constexpr UINT kDisplayUpdateMessage = WM_APP;
// The edit field's own message that the control swallows with EM_SETSEL
// while it moves the focus itself.
constexpr UINT kEditSelectionMessage = 0x437;
constexpr int kFlagsColumn = 2;
constexpr int kCueBannerColumn = 3;
constexpr int kItemDataColumn = 7;
constexpr int kBitmaskItems = 32;
// Item matching: equal, then starts with, then contains, each ignoring case.
constexpr unsigned kMatchPasses[] = {kMatchAnyIgnoreCase, unsigned(kMatchAnyIgnoreCase) | kMatchAnyStartsWith,
                                     unsigned(kMatchAnyIgnoreCase) | kMatchAnyContains};
constexpr unsigned kFindStringFlags = unsigned(kMatchAnyIgnoreCase) | kMatchAnyStartsWith;
constexpr unsigned kFindExactFlags = kMatchAnyIgnoreCase;
constexpr char kEmptyTable[] = "-1";
constexpr char kJoiner[] = ", ";

struct ComboClassRegistrar {
    SuperclassInfo superclass;
    ComboClassRegistrar() {
        if (g_module.startupFailed) return;
        superclass.Register("ComboBox", JX_COMBO_CLASS, ComboBox::Procedure, sizeof(LONG_PTR), CS_GLOBALCLASS);
        if (!superclass.atom) return;
        if (const JxSetWindowClassFlagsFn announce = HostSetWindowClassFlags())
            announce(JX_COMBO_CLASS, JX_COMBO_CLASS_FLAGS);
    }
};
ComboClassRegistrar g_comboClass;

const SuperclassInfo& ComboClass() { return g_comboClass.superclass; }

UINT DialogDataMessage() {
    static const UINT message = RegisterWindowMessageA(JX_MSG_DIALOGCONTROLDATA);
    return message;
}

// The keys that open the list: the paging and arrow keys (with Alt too),
// and F4 without Alt (Alt+F4 closes the window).
bool IsOpeningKey(UINT message, WPARAM key) {
    return key == VK_PRIOR || key == VK_NEXT || key == VK_UP || key == VK_DOWN ||
           (key == VK_F4 && message == WM_KEYDOWN);
}

// The bits with one bit inserted at `index` (set when `set`), or removed there.
unsigned InsertBit(unsigned bits, int index, bool set) {
    const unsigned low = bits & ((1u << index) - 1);
    const unsigned high = index >= 31 ? 0 : (bits >> index) << (index + 1);
    return low | high | (set ? 1u << index : 0);
}
unsigned RemoveBit(unsigned bits, int index) {
    const unsigned low = bits & ((1u << index) - 1);
    const unsigned high = index >= 31 ? 0 : (bits >> (index + 1)) << index;
    return low | high;
}

}  // namespace

ComboBox::ComboBox(HWND window) : window_(window) { FromText(kEmptyTable); }

LRESULT CALLBACK ComboBox::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtHostBoundary([&]() -> LRESULT {
        const SuperclassInfo& base = ComboClass();
        if (message == WM_NCCREATE) {
            // The list is the dropdown's: a combo box without one cannot be made.
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            if (!(create->style & CBS_DROPDOWN)) return FALSE;
            auto* combo = new (std::nothrow) ComboBox(window);
            if (!combo) return FALSE;
            SetWindowLongPtrW(window, base.baseExtra, reinterpret_cast<LONG_PTR>(combo));
        }
        auto* combo = reinterpret_cast<ComboBox*>(GetWindowLongPtrW(window, base.baseExtra));
        if (!combo) return base.CallBase(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            combo->OnNcDestroy();
            SetWindowLongPtrW(window, base.baseExtra, 0);
            const LRESULT result = base.CallBase(window, message, wParam, lParam);
            combo->Release();  // the window's reference
            return result;
        }
        ComReference<ComboBox> handling(combo);
        combo->AddRef();
        return combo->OnMessage(message, wParam, lParam);
    });
}

LRESULT ComboBox::CallBase(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ComboClass().CallBase(window_, message, wParam, lParam);
}

LRESULT ComboBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == DialogDataMessage() && (wParam == JX_DIALOGDATA_GET || wParam == JX_DIALOGDATA_SET))
        return OnDialogData(wParam, reinterpret_cast<JxString*>(lParam));
    switch (message) {
    case WM_CREATE: {
        const LRESULT result = CallBase(message, wParam, lParam);
        if (result != -1) OnCreate();
        return result;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return OnKeyDown(message, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return OnLButtonDown(lParam);
    case WM_LBUTTONUP:
        return 0;
    case CB_ADDSTRING:
        return OnInsertString(-1, reinterpret_cast<const wchar_t*>(lParam));
    case CB_INSERTSTRING:
        return OnInsertString(int(wParam), reinterpret_cast<const wchar_t*>(lParam));
    case CB_DELETESTRING:
        return OnDeleteString(int(wParam));
    case CB_RESETCONTENT:
        return OnResetContent();
    case CB_GETCOUNT:
        return itemCount_;
    case CB_GETCURSEL:
        return selection_;
    case CB_GETLBTEXT:
        return OnGetText(int(wParam), reinterpret_cast<wchar_t*>(lParam), false);
    case CB_GETLBTEXTLEN:
        return OnGetText(int(wParam), nullptr, true);
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
        return OnFindString(int(wParam), reinterpret_cast<const wchar_t*>(lParam), message == CB_FINDSTRINGEXACT);
    case CB_SELECTSTRING: {
        if (CheckMode()) return CB_ERR;
        const LRESULT found = OnFindString(int(wParam), reinterpret_cast<const wchar_t*>(lParam), false);
        return found == CB_ERR ? CB_ERR : OnSetCurSel(int(found));
    }
    case CB_SETCURSEL:
        return OnSetCurSel(int(wParam));
    case CB_SHOWDROPDOWN:
        return OnShowDropdown(wParam != FALSE);
    case CB_GETDROPPEDSTATE:
        return popup_ != nullptr;
    case CB_GETITEMDATA:
        return OnGetItemData(int(wParam));
    case CB_SETITEMDATA:
        return OnSetItemData(int(wParam), lParam);
    case CB_SETITEMHEIGHT:
    case CB_GETITEMHEIGHT:
        if (int(wParam) >= 0) return CB_ERR;
        break;
    case LB_SETSEL:
        return OnSetSel(wParam != FALSE, int(lParam));
    case LB_GETSEL:
        return OnGetSel(int(wParam));
    case kDisplayUpdateMessage:
        RunPostedUpdate();
        return 0;
    case WM_COMMAND: {
        const LRESULT result = CallBase(message, wParam, lParam);
        OnCommand(wParam, lParam);
        return result;
    }
    }
    return CallBase(message, wParam, lParam);
}

void ComboBox::OnCreate() {
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    if ((GetWindowLongW(window_, GWL_STYLE) & CBS_DROPDOWNLIST) == CBS_DROPDOWN && GetComboBoxInfo(window_, &info) &&
        info.hwndItem && info.hwndItem != window_) {
        edit_ = info.hwndItem;
        // The field's own class procedure (of whichever common-controls
        // version made it): texts the control puts into the field bypass its subclass.
        editClassProcedure_ = reinterpret_cast<WNDPROC>(GetClassLongPtrW(edit_, GCLP_WNDPROC));
        SetWindowSubclass(edit_, EditSubclass, kEditSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
}

void ComboBox::OnNcDestroy() {
    // A list still open closes with its anchor; it must not call back into a window that is gone.
    if (popup_) popup_->Close(0);
    if (edit_ && IsWindow(edit_)) RemoveWindowSubclass(edit_, EditSubclass, kEditSubclassId);
    edit_ = nullptr;
    window_ = nullptr;
}

LRESULT ComboBox::OnKeyDown(UINT message, WPARAM key, LPARAM keyData) {
    if (!IsOpeningKey(message, key)) return CallBase(message, key, keyData);
    OpenList();
    return 0;
}

LRESULT ComboBox::OnLButtonDown(LPARAM point) {
    if (edit_) {
        COMBOBOXINFO info = {};
        info.cbSize = sizeof info;
        GetComboBoxInfo(window_, &info);
        RECT button = info.rcButton;
        InflateRect(&button, 1, 1);
        const POINT at = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
        if (!PtInRect(&button, at)) {
            SetFocus(edit_);
            return 0;
        }
    }
    OpenList();
    return 0;
}

// ---- Items

void ComboBox::CountItems() {
    columnCount_ = ColumnCount();
    itemCount_ = RowCount() - 1;
}

int ComboBox::CellNumber(int row, int column, int otherwise) const {
    if (column >= columnCount_ || unsigned(row) >= unsigned(RowCount())) return otherwise;
    const char* text = FieldAt(Fields(row), column);
    const char* end;
    const int value = int(ParseFlags(text, &end));
    return end == text ? otherwise : value;
}

LRESULT ComboBox::OnInsertString(int index, const wchar_t* row) {
    if (!CanChange() || index > itemCount_ || index < -1) return CB_ERR;
    if (index == -1) index = itemCount_;
    text_.FromWide(row ? row : L"");
    const int rowsBefore = RowCount();
    int first = -1;
    // An empty text is one item with an empty text, as in the system's combo box.
    static const char* const kEmptyItem[] = {""};
    const HRESULT inserted = text_.IsEmpty() ? InsertRowTexts(index + 1, 1, kEmptyItem, 0, &first)
                                             : InsertRowsFromText(index + 1, text_.Text(), &first);
    if (FAILED(inserted) || first < 0) {
        ReportError("Invalid CSV string:\r\n%s", text_.Text());
        CountItems();
        return CB_ERR;
    }
    const int added = RowCount() - rowsBefore;
    CountItems();
    if (CheckMode() == JX_COMBO_SINGLE) {
        if (selection_ >= index) selection_ += added;
    } else {
        if (IsBitmask())
            for (int i = index; i < index + added && i < kBitmaskItems; ++i)
                bits_ = InsertBit(bits_, i, (CellNumber(i + 1, kFlagsColumn, 0) & 3) == 1);
        PostDisplayUpdate();
    }
    return index;
}

LRESULT ComboBox::OnDeleteString(int index) {
    if (!CanChange() || !IsItem(index)) return CB_ERR;
    RemoveRow(index + 1);
    CountItems();
    if (selection_ == index)
        selection_ = -1;
    else if (selection_ > index)
        --selection_;
    if (IsBitmask() && index < kBitmaskItems) bits_ = RemoveBit(bits_, index);
    if (CheckMode()) PostDisplayUpdate();
    return itemCount_;
}

LRESULT ComboBox::OnResetContent() {
    if (!CanChange()) return CB_ERR;
    while (RowCount() > 1) RemoveRow(RowCount() - 1);
    CountItems();
    bits_ = 0;
    selection_ = -1;
    Display(Update::kRequest);
    return CB_OKAY;
}

LRESULT ComboBox::OnGetText(int index, wchar_t* buffer, bool lengthOnly) {
    if (!IsItem(index)) return CB_ERR;
    const WideText wide(FieldAt(Fields(index + 1), 0));
    const int length = int(wcslen(wide.Get()));
    if (!lengthOnly && buffer) wmemcpy(buffer, wide.Get(), size_t(length) + 1);
    return length;
}

LRESULT ComboBox::OnFindString(int start, const wchar_t* text, bool exact) {
    text_.FromWide(text ? text : L"");
    // From the item after `start` to the last, without turning round.
    const int firstRow = (start < -1 || start >= itemCount_ ? -1 : start) + 2;
    int row = -1;
    if (Find(text_.Text(), exact ? kFindExactFlags : kFindStringFlags, 0, firstRow, &row) != S_OK || row < 1)
        return CB_ERR;
    return row - 1;
}

LRESULT ComboBox::OnSetCurSel(int index) {
    if (CheckMode()) return CB_ERR;
    selection_ = IsItem(index) ? index : -1;
    if (popup_) popup_->SetCurrent(selection_, 0, nullptr);
    Display(Update::kRequest);
    return selection_;
}

LRESULT ComboBox::OnShowDropdown(bool show) {
    if (show) return OpenList();
    if (!popup_) return FALSE;
    popup_->Close(0);
    return TRUE;
}

LRESULT ComboBox::OnGetItemData(int index) {
    if (!IsItem(index)) return CB_ERR;
    if (columnCount_ <= kItemDataColumn) return 0;
    // 64-bit on x64, so that pointers survive.
    return LRESULT(_strtoi64(FieldAt(Fields(index + 1), kItemDataColumn), nullptr, 10));
}

LRESULT ComboBox::OnSetItemData(int index, LPARAM data) {
    if (!IsItem(index)) return CB_ERR;
    str text;
    text.SetInt64(int64_t(data));
    if (FAILED(SetCell(index + 1, kItemDataColumn, text.Text()))) return CB_ERR;
    CountItems();
    return TRUE;
}

bool ComboBox::IsChecked(int index) const {
    if (IsBitmask()) return index < kBitmaskItems && (bits_ & (1u << index));
    return (CellNumber(index + 1, kFlagsColumn, 0) & 3) == 1;
}

void ComboBox::StoreCheck(int index, bool checked) {
    if (!IsItem(index)) return;
    if (IsBitmask()) {
        if (index >= kBitmaskItems) return;
        bits_ = checked ? bits_ | (1u << index) : bits_ & ~(1u << index);
        return;
    }
    const int value = CellNumber(index + 1, kFlagsColumn, 0);
    SetCellInt(index + 1, kFlagsColumn, checked ? value | 1 : value & ~1);
    CountItems();
}

LRESULT ComboBox::OnSetSel(bool checked, int index) {
    if (!CheckMode() || index < -1 || index >= itemCount_) return LB_ERR;
    const unsigned operation = checked ? JX_DROPDOWN_CHECK_ON : JX_DROPDOWN_CHECK_OFF;
    if (index == -1) {
        if (IsBitmask()) {
            const int count = itemCount_ < kBitmaskItems ? itemCount_ : kBitmaskItems;
            bits_ = checked ? (count == 32 ? ~0u : (1u << count) - 1) : 0;
        } else {
            for (int i = 0; i < itemCount_; ++i) StoreCheck(i, checked);
        }
        if (popup_)
            for (int i = 0; i < itemCount_; ++i) popup_->SetCheck(i, operation | JX_DROPDOWN_CHECK_NO_CALLBACK);
    } else {
        if (IsBitmask() && index >= kBitmaskItems) return 0;
        StoreCheck(index, checked);
        if (popup_) popup_->SetCheck(index, operation | JX_DROPDOWN_CHECK_NO_CALLBACK);
    }
    PostDisplayUpdate();
    return 0;
}

LRESULT ComboBox::OnGetSel(int index) {
    if (!CheckMode() || !IsItem(index)) return LB_ERR;
    if (popup_) {
        int checked = 0;
        popup_->GetCheck(index, &checked);
        return checked;
    }
    return IsChecked(index);
}

void ComboBox::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (edit_ && reinterpret_cast<HWND>(lParam) == edit_ && HIWORD(wParam) == EN_CHANGE) EditTextChanged();
}

// ---- The edit field

LRESULT CALLBACK ComboBox::EditSubclass(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                        DWORD_PTR self) {
    return AtHostBoundary([&]() -> LRESULT {
        if (message == WM_NCDESTROY) {
            RemoveWindowSubclass(edit, EditSubclass, id);
            return DefSubclassProc(edit, message, wParam, lParam);
        }
        auto* combo = reinterpret_cast<ComboBox*>(self);
        ComReference<ComboBox> handling(combo);
        combo->AddRef();
        return combo->OnEditMessage(message, wParam, lParam);
    });
}

LRESULT ComboBox::OnEditMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND edit = edit_;
    switch (message) {
    case EM_SETSEL:
    case kEditSelectionMessage:
        if (movingFocus_) return 0;
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (IsOpeningKey(message, wParam)) {
            OpenList();
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
        if ((flags_ & JX_COMBO_CLICK_NO_SELECT) && GetFocus() != edit) {
            movingFocus_ = true;
            SetFocus(edit);
            movingFocus_ = false;
        }
        break;
    case WM_MBUTTONDOWN:
        // Empties the field as one edit the user can undo.
        SetFocus(edit);
        DefSubclassProc(edit, EM_SETSEL, 0, -1);
        DefSubclassProc(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
        return 0;
    case WM_SETTEXT: {
        const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
        EditTextChanged();
        return result;
    }
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

void ComboBox::EditTextChanged() {
    if (settingText_ || !edit_) return;
    if (popup_ && CheckMode() == JX_COMBO_SINGLE) {
        GetControlText(text_, edit_);
        popup_->SetCurrent(MatchItem(text_.Text()), 0, nullptr);
        return;
    }
    editChanged_ = true;
}

// ---- Opening the list

bool ComboBox::OpenList() {
    if (popup_ || !window_) return false;
    HWND focus = GetFocus();
    // The parent may destroy the control from any notification on the way.
    if (focus != window_ && (!edit_ || focus != edit_)) SetFocus(window_);
    if (!window_) return false;
    Notify(CBN_DROPDOWN);
    if (!window_ || itemCount_ < 1) return false;
    if (edit_ && CheckMode() == JX_COMBO_SINGLE) {
        DWORD end = 0;
        SendMessageW(edit_, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&end));
        if (int(end) != GetWindowTextLengthW(edit_)) SendMessageW(edit_, EM_SETSEL, 0, -1);
    }
    TakeTypedText();
    if (!window_ || itemCount_ < 1) return false;
    WriteState();
    const unsigned flags = (GetWindowLongW(window_, GWL_STYLE) & CBS_SORT) ? JX_DROPDOWN_SORT : 0;
    const int result = RunDropdown(this, nullptr, flags, window_, nullptr, OnPopupEvent, this, &popup_, nullptr);
    if (!window_) return result != 0;  // destroyed while the list was open
    CountItems();
    if ((result & JX_DROPDOWN_RESULT_ACCEPTED) || CheckMode()) {
        Display(Update::kLoad);
        Notify(CBN_SELENDOK);
    } else {
        // A sorted list moved the selected item: the selection follows it
        // (cell (0,0) holds its new index), the field keeps its text.
        if (flags & JX_DROPDOWN_SORT) selection_ = CellNumber(0, 0, -1);
        if (!IsItem(selection_)) selection_ = -1;
        Notify(CBN_SELENDCANCEL);
    }
    Notify(CBN_CLOSEUP);
    if (result & (JX_DROPDOWN_RESULT_CHECKS | JX_DROPDOWN_RESULT_CURRENT)) Notify(CBN_SELCHANGE);
    return result != 0;
}

int __stdcall ComboBox::OnPopupEvent(void* self, const DropdownEvent* event) {
    auto* combo = static_cast<ComboBox*>(self);
    if (!event || (event->code != JX_DROPDOWN_EVENT_USER_CHECK && event->code != JX_DROPDOWN_EVENT_CHECK)) return 0;
    combo->StoreCheck(event->index, event->value != 0);
    if (event->code == JX_DROPDOWN_EVENT_USER_CHECK && combo->window_) {
        ComboCheckNotify notify = {};
        notify.header.hwndFrom = combo->window_;
        notify.header.idFrom = UINT_PTR(GetDlgCtrlID(combo->window_));
        notify.header.code = JX_COMBO_NOTIFY_CHECK;
        notify.popup = event->popup;
        notify.index = event->index;
        notify.checked = event->value != 0;
        SendMessageW(GetParent(combo->window_), WM_NOTIFY, notify.header.idFrom, reinterpret_cast<LPARAM>(&notify));
    }
    combo->PostDisplayUpdate();
    return 0;
}

void ComboBox::WriteState() {
    str state;
    if (IsBitmask()) {
        state.SetHex(bits_);
    } else {
        state.SetInt(selection_);
        if (edit_ && CheckMode() == JX_COMBO_SINGLE) {
            GetControlText(text_, edit_);
            if (!text_.IsEmpty()) {
                state.AppendChar(' ');
                state.Append(text_);
            }
        }
    }
    SetCell(0, 0, state.Text());
}

int ComboBox::MatchItem(const char* text) {
    if (!text || !*text) return -1;
    const int passes = (flags_ & JX_COMBO_ADD_TYPED) ? 1 : 3;
    for (int pass = 0; pass < passes; ++pass) {
        for (int row = 1;; ++row) {
            if (Find(text, kMatchPasses[pass], 0, row, &row) != S_OK) break;
            if (columnCount_ <= kFlagsColumn || !(CellNumber(row, kFlagsColumn, 0) & JX_DROPDOWN_ITEM_DISABLED))
                return row - 1;
        }
    }
    return -1;
}

int ComboBox::AppendItem(const char* text, const char* flags) {
    const char* fields[] = {text, "", flags};
    int row = -1;
    if (FAILED(InsertRowTexts(RowCount(), flags ? 3 : 1, fields, 0, &row))) return -1;
    CountItems();
    return row - 1;
}

void ComboBox::TakeTypedText() {
    if (!edit_ || !editChanged_) return;
    editChanged_ = false;
    str typed;
    GetControlText(typed, edit_);
    switch (CheckMode()) {
    case JX_COMBO_SINGLE: {
        int found = MatchItem(typed.Text());
        if (found < 0 && (flags_ & JX_COMBO_ADD_TYPED) && !typed.IsEmpty()) found = AppendItem(typed.Text(), nullptr);
        if (found != selection_) {
            selection_ = found;
            Notify(CBN_SELCHANGE);
        }
        return;
    }
    case JX_COMBO_BITS_NUMBER:
        bits_ = ParseFlags(typed.Text());
        return;
    }
    // A list of item texts separated by commas names the checked items.
    std::vector<bool, HostAllocator<bool>> named(size_t(itemCount_), false);
    const char* piece = typed.Text();
    while (*piece) {
        while (*piece && BYTE(*piece) <= ' ') ++piece;
        const char* end = strchr(piece, ',');
        const size_t length = end ? size_t(end - piece) : strlen(piece);
        str name;
        name.Assign(piece, 0, int(length));
        if (!name.IsEmpty()) {
            int found = MatchItem(name.Text());
            if (found < 0 && (flags_ & (JX_COMBO_ADD_TYPED | JX_COMBO_CHECKMODE_MASK)) ==
                                 (JX_COMBO_ADD_TYPED | JX_COMBO_CHECKLIST)) {
                found = AppendItem(name.Text(), "1");
                named.resize(size_t(itemCount_), false);
            }
            if (found >= 0) named[size_t(found)] = true;
        }
        piece = end ? end + 1 : piece + length;
    }
    for (int i = 0; i < itemCount_; ++i)
        if (!(CellNumber(i + 1, kFlagsColumn, 0) & JX_DROPDOWN_ITEM_NO_CHECKBOX)) StoreCheck(i, named[size_t(i)]);
}

// ---- The display

void ComboBox::PostDisplayUpdate() {
    if (updatePosted_ || !window_) return;
    updatePosted_ = true;
    PostMessageW(window_, kDisplayUpdateMessage, 0, 0);
}

void ComboBox::RunPostedUpdate() {
    if (!updatePosted_) return;
    updatePosted_ = false;
    Display(Update::kRequest);
}

void ComboBox::Display(Update update) {
    const bool loading = update != Update::kRequest;
    str text;
    bool nothing = false;
    if (CheckMode()) {
        selection_ = -1;
        if (IsBitmask() && loading) bits_ = unsigned(CellNumber(0, 0, 0));
        if (CheckMode() == JX_COMBO_BITS_NUMBER) {
            if (flags_ & JX_COMBO_FLAG_NUMBERS) {
                FlagsToText(text, bits_, 0);
            } else {
                text.SetInt(int(bits_));
                nothing = bits_ == 0;
            }
        } else {
            for (int i = 0; i < itemCount_; ++i)
                if (IsChecked(i)) {
                    if (!text.IsEmpty()) text.Append(kJoiner);
                    text.Append(FieldAt(Fields(i + 1), 0));
                }
        }
    } else {
        if (loading) selection_ = CellNumber(0, 0, -1);
        if (!IsItem(selection_) ||
            (columnCount_ > kFlagsColumn && (CellNumber(selection_ + 1, kFlagsColumn, 0) & JX_DROPDOWN_ITEM_DISABLED)))
            selection_ = -1;
        if (selection_ >= 0) {
            text.Assign(FieldAt(Fields(selection_ + 1), 0));
        } else if (edit_ && update == Update::kSetData) {
            // The text after the number in cell (0,0).
            const char* state = FieldAt(Fields(0), 0);
            const char* end;
            ParseFlags(state, &end);
            if (end != state) {
                if (*end == ' ') ++end;
                text.Assign(end);
            }
        }
    }
    if (text.IsEmpty()) nothing = true;
    if ((flags_ & JX_COMBO_KEEP_TYPED) && edit_ && nothing &&
        (CheckMode() == JX_COMBO_SINGLE || update == Update::kSetData)) {
        editChanged_ = true;
        return;
    }
    SetDisplayText(text.Text());
}

void ComboBox::SetDisplayText(const char* text) {
    const WideText wide(text);
    if (edit_) {
        settingText_ = true;
        if (editClassProcedure_)
            CallWindowProcW(editClassProcedure_, edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.Get()));
        settingText_ = false;
        editChanged_ = false;
        if (*text && GetFocus() == edit_) SendMessageW(edit_, EM_SETSEL, 0, -1);
        return;
    }
    CallBase(CB_RESETCONTENT, 0, 0);
    if (*text) {
        CallBase(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.Get()));
        CallBase(CB_SETCURSEL, 0, 0);
    }
}

void ComboBox::Notify(WORD code) {
    if (!window_) return;
    SendMessageW(GetParent(window_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window_), code),
                 reinterpret_cast<LPARAM>(window_));
}

// ---- Dialog data

LRESULT ComboBox::OnDialogData(WPARAM direction, JxString* data) {
    if (!data) return 1;
    if (direction == JX_DIALOGDATA_SET) {
        if (CanChange()) SetData(AsStr(data).Text());
    } else {
        GetData(AsStr(data));
    }
    return 1;
}

void ComboBox::SetData(const char* csv) {
    selection_ = -1;
    flags_ = 0;
    itemCount_ = 0;
    bits_ = 0;
    updatePosted_ = false;
    editChanged_ = false;
    if (!csv || !*csv) {
        FromText(kEmptyTable);
    } else if (FAILED(FromText(csv))) {
        ReportError("Invalid CSV string:\r\n%s", csv);
        FromText(kEmptyTable);
    }
    CountItems();
    if (columnCount_ > kFlagsColumn) flags_ = unsigned(CellNumber(0, kFlagsColumn, 0)) & JX_COMBO_FLAGS_MASK;
    if (itemCount_ < 0) itemCount_ = 0;
    Display(Update::kSetData);
    const WideText banner(columnCount_ > kCueBannerColumn ? FieldAt(Fields(0), kCueBannerColumn) : "");
    CallBase(CB_SETCUEBANNER, 0, reinterpret_cast<LPARAM>(banner.Get()));
}

void ComboBox::GetData(str& out) {
    RunPostedUpdate();
    if (edit_) {
        if (flags_ & (JX_COMBO_DATA_TABLE | JX_COMBO_ADD_TYPED)) TakeTypedText();
        if (!(flags_ & JX_COMBO_DATA_TABLE)) {
            GetControlText(out, edit_);
            return;
        }
    }
    if (flags_ & JX_COMBO_DATA_TABLE) {
        WriteState();
        out.Empty();
        ToText(out);
        return;
    }
    switch (CheckMode()) {
    case JX_COMBO_SINGLE:
        out.SetInt(selection_);
        break;
    case JX_COMBO_CHECKLIST:
        out.Empty();
        for (int i = 0; i < itemCount_; ++i) out.AppendChar(IsChecked(i) ? '1' : '0');
        break;
    default:
        out.SetInt(int(bits_));
        break;
    }
}

}  // namespace controls
