// The dropdown popup: the show request's steps (settings, sorting, check
// states, images, windows, size and placement), the result, the
// IDropdownPopup methods and the popup window's messages.
#include "dropdown_popup.h"
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include "runtime/host_boundary.h"
#include "runtime/module_state.h"
#include "text/numbers.h"
#include "window/list_view_helpers.h"
#include "window/monitors.h"
#include "window/window_class.h"
#include "window/window_utils.h"

namespace controls {
namespace {

constexpr UINT kPollMs = 100;
// The windows start this large so that the list can measure its items.
constexpr int kInitialSize = 900;
constexpr DWORD kPopupExStyle = WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr DWORD kPopupStyle = WS_POPUP | WS_CLIPCHILDREN | WS_BORDER;
constexpr DWORD kListStyle = WS_VISIBLE | LVS_NOCOLUMNHEADER | LVS_OWNERDATA | LVS_SHAREIMAGELISTS | LVS_SINGLESEL;
constexpr DWORD kListExStyle = LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP | LVS_EX_FULLROWSELECT;
// Report view's one column before it is sized to the items or the client.
constexpr int kInitialColumnWidth = 10;
// The popup's border, one pixel on each side.
constexpr int kBorder = 2;

// Header row columns
constexpr int kCurrentColumn = 0;
constexpr int kImagesColumn = 1;
constexpr int kFlagsColumn = 2;
constexpr int kInfoTipColumn = 3;
constexpr int kTextColorColumn = 4;
constexpr int kBackColorColumn = 5;
constexpr int kWidthColumn = 6;
constexpr int kMaxRowsColumn = 7;
// Item row columns
constexpr int kTextColumn = 0;
constexpr int kImageColumn = 1;
constexpr int kIndentColumn = 6;

// Sorting keeps the current item's row found by this text in column 1.
constexpr char kSortMarker[] = "[4][9][1][5]";
constexpr int kSmallSortLimit = 1000;
constexpr unsigned kSortFlagsSmall = unsigned(kCsvSortKeepHeaderRow) | kCompareLogical;
constexpr unsigned kSortFlagsLarge = unsigned(kCsvSortKeepHeaderRow) | kCompareIgnoreCase;

// Without a real image list, images are this wide for indentation and a
// dummy list this high sets the row height.
constexpr int kNoImageUnit = 16;
constexpr int kDummyImageWidth = 1;
// Icon views: the most columns a computed width makes.
constexpr int kMaxIconColumns = 19;
// Report view: a computed width is the items' column width plus this.
constexpr int kComputedWidthMargin = 16;
// Write-back of the item flags: from this value on in hexadecimal.
constexpr int kHexFlagsFrom = 9;

constexpr COLORREF kDisabledText = 0x808080;
constexpr COLORREF kHeadingBackground = 0x80C080;

constexpr int kAnchorMargin = 10;
constexpr int kRectMargin = 30;
constexpr int kRectUpGap = 20;
constexpr int kAnchorUpGap = 4;
constexpr int kCursorUpGap = 2;

// The dropdown class, registered with the library and unregistered before
// its module state is torn down.
struct DropdownClassRegistrar {
    RegisteredWindowClass windowClass;
    DropdownClassRegistrar() {
        if (g_module.startupFailed) return;
        windowClass.Register(JX_DROPDOWN_CLASS, DropdownPopup::Procedure, sizeof(LONG_PTR), nullptr,
                             kClassNoDefaultBackground, CS_DROPSHADOW | CS_SAVEBITS);
    }
};
DropdownClassRegistrar g_dropdownClass;

int RectHeight(const RECT& rect) { return rect.bottom - rect.top; }
int RectWidth(const RECT& rect) { return rect.right - rect.left; }

// A byte array of the library, re-created zero-filled when shorter than `count`.
void EnsureByteArray(JxByteArray& array, int count) {
    if (array.data && array.count >= count) return;
    HostFree(array.data);
    array.data = nullptr;
    array.count = 0;
    array.data = static_cast<BYTE*>(HostCallocOrRaise(size_t(std::max(count, 1)), 1));
    array.count = count;
}

// A SAFEARRAY of bytes with at least `count` elements.
bool IsUsableByteSafeArray(const SAFEARRAY* array, int count) {
    return array && array->cDims == 1 && array->cbElements == 1 && array->pvData &&
           array->rgsabound[0].cElements >= ULONG(count);
}

}  // namespace

// ---- IUnknown

HRESULT DropdownPopup::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDropdownPopup) {
        *object = static_cast<IDropdownPopup*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DropdownPopup::AddRef() { return ULONG(InterlockedIncrement(&refCount_)); }

ULONG DropdownPopup::Release() {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return ULONG(count);
}

// ---- Table reads

bool DropdownPopup::CellInt(int row, int column, int* value) const {
    if (column >= columnCount_) return false;
    return table_->GetCellInt(row, column, value) == S_OK;
}

const char* DropdownPopup::CellText(int row, int column) const {
    const char* text = nullptr;
    if (column >= columnCount_ || FAILED(table_->GetCell(row, column, &text)) || !text) return "";
    return text;
}

bool DropdownPopup::IsChoosable(int index) const {
    if (!IsItem(index) || IsDisabled(index)) return false;
    return !checkMode_ || (states_[size_t(index)] & (JX_DROPDOWN_ITEM_NO_CHECKBOX | JX_DROPDOWN_ITEM_COMMAND));
}

bool DropdownPopup::HeaderWidth(int* width) {
    if (!CellInt(0, kWidthColumn, width)) return false;
    if (*width < 0) {
        // Quarters of the list font's average character width.
        if (!averageCharWidth_) GetDialogUnits(listFont_, &averageCharWidth_);
        *width = MulDiv(-*width, averageCharWidth_, 4);
    }
    return true;
}

HFONT DropdownPopup::BoldFont() {
    if (!boldFont_.Get()) {
        LOGFONTW description = {};
        if (GetObjectW(listFont_, sizeof description, &description)) {
            description.lfWeight = FW_BOLD;
            boldFont_.Reset(CreateFontIndirectW(&description));
        }
    }
    return boldFont_.Get();
}

// ---- The show request

int DropdownPopup::Run(const DropdownRequest& request) {
    int initial = -1;
    if (!ReadSettings(request, initial)) return 0;
    if (callFlags_ & JX_DROPDOWN_SORT) SortItems();

    states_.assign(size_t(itemCount_), 0);
    if (columnCount_ > kFlagsColumn)
        for (int i = 0; i < itemCount_; ++i) {
            int flags;
            if (CellInt(i + 1, kFlagsColumn, &flags)) states_[size_t(i)] = BYTE(flags & JX_DROPDOWN_ITEM_INPUT_MASK);
        }
    PrepareCheckArray();
    TakeInitialChecks(initial);
    if (!IsBitmaskMode()) {
        if (current_ >= 0 && !IsChoosable(current_)) current_ = -1;
        if (currentOut_) *currentOut_ = current_;
    }
    initialCurrent_ = current_;
    LoadImages();

    if (!CreateWindows()) return 0;
    SizeAndPlace();
    ShowAnimated();
    GetCursorClientPos(list_, &cursorInList_);

    int quitCode = 0;
    const bool ended = RunLoop(quitCode);
    popupOwner_.reset();
    if (!ended) {
        // The loop saw WM_QUIT: the caller's loop must see it too.
        PostQuitMessage(quitCode);
        return 0;
    }
    return BuildResult();
}

bool DropdownPopup::ReadSettings(const DropdownRequest& request, int& initial) {
    table_ = request.table;
    callFlags_ = request.flags;
    anchor_ = request.anchor;
    callback_ = request.callback;
    parameter_ = request.parameter;
    currentOut_ = request.current;
    checks_ = request.checks;
    rect_ = request.rect;
    current_ = -1;
    if (!table_ || (anchor_ && !IsWindow(anchor_))) return false;

    int rows = 0;
    if (FAILED(table_->GetRowCount(&rows)) || FAILED(table_->GetColumnCount(&columnCount_))) return false;
    itemCount_ = rows - 1;
    if (itemCount_ < 1) return false;
    int headerFlags = 0;
    if (CellInt(0, kFlagsColumn, &headerFlags)) headerFlags_ = unsigned(headerFlags);
    checkMode_ = BYTE(headerFlags_ & JX_DROPDOWN_HEADER_CHECKMODE_MASK);

    if ((callFlags_ & JX_DROPDOWN_FROM_TABLE) || !currentOut_) {
        if (!CellInt(0, kCurrentColumn, &initial)) initial = IsBitmaskMode() ? 0 : -1;
    } else {
        initial = *currentOut_;
    }
    if (!IsBitmaskMode() && initial >= 0 && initial < itemCount_) current_ = initial;

    if (checkMode_ != JX_DROPDOWN_HEADER_CHECK_ARRAY) checks_ = nullptr;
    if (IsBitmaskMode() || (checks_ && !(callFlags_ & JX_DROPDOWN_FROM_TABLE))) callFlags_ &= ~JX_DROPDOWN_SORT;
    return true;
}

void DropdownPopup::SortItems() {
    const int columnsBefore = columnCount_;
    str saved;
    bool marked = false;
    if (current_ >= 0) {
        saved.Assign(CellText(current_ + 1, kImageColumn));
        marked = SUCCEEDED(table_->SetCell(current_ + 1, kImageColumn, kSortMarker));
    }
    table_->Sort(itemCount_ < kSmallSortLimit ? kSortFlagsSmall : kSortFlagsLarge, kTextColumn);
    if (!marked) return;
    int row = -1;
    if (table_->Find(kSortMarker, 0, kImageColumn, 0, &row) == S_OK && row >= 1) {
        table_->SetCell(row, kImageColumn, saved.Text());
        current_ = row - 1;
        table_->SetCellInt(0, kCurrentColumn, current_);
    }
    // The marker needed column 1: a table that had none gets its shape back.
    if (columnsBefore <= kImageColumn) table_->SetColumnCount(columnsBefore);
    table_->GetColumnCount(&columnCount_);
}

BYTE* DropdownPopup::CheckBytes() const {
    if (!checks_) return nullptr;
    if (callFlags_ & JX_DROPDOWN_SAFEARRAY) {
        SAFEARRAY* array = *static_cast<SAFEARRAY**>(checks_);
        return IsUsableByteSafeArray(array, itemCount_) ? static_cast<BYTE*>(array->pvData) : nullptr;
    }
    const auto* array = static_cast<const JxByteArray*>(checks_);
    return array->count >= itemCount_ ? array->data : nullptr;
}

void DropdownPopup::PrepareCheckArray() {
    if (!checks_) return;
    if (callFlags_ & JX_DROPDOWN_SAFEARRAY) {
        auto* variable = static_cast<SAFEARRAY**>(checks_);
        if (IsUsableByteSafeArray(*variable, itemCount_)) return;
        DestroySafeArray(*variable);
        *variable = SafeArrayCreateVector(VT_UI1, 0, ULONG(itemCount_));
        if (!*variable) checks_ = nullptr;
        return;
    }
    EnsureByteArray(*static_cast<JxByteArray*>(checks_), itemCount_);
}

void DropdownPopup::TakeInitialChecks(int initial) {
    if (IsBitmaskMode()) {
        // The bits are the whole state of the items they cover: a check
        // loaded from the items' flags is cleared by a clear bit.
        checkBits_ = unsigned(initial);
        for (int i = 0; i < std::min(itemCount_, 32); ++i) {
            BYTE& state = states_[size_t(i)];
            state = BYTE((checkBits_ & (1u << i)) ? state | JX_DROPDOWN_ITEM_CHECKED : state & ~JX_DROPDOWN_ITEM_CHECKED);
        }
        return;
    }
    const BYTE* bytes = CheckBytes();
    if (!bytes || (callFlags_ & JX_DROPDOWN_FROM_TABLE)) return;
    for (int i = 0; i < itemCount_; ++i)
        states_[size_t(i)] = BYTE((states_[size_t(i)] & ~JX_DROPDOWN_ITEM_CHECKED) | (bytes[i] & JX_DROPDOWN_ITEM_CHECKED));
}

void DropdownPopup::LoadImages() {
    const char* text = CellText(0, kImagesColumn);
    if (*text) {
        // A handle may lie above 4 GB in a 64-bit process.
        char* end;
        const unsigned long long handle = _strtoui64(text, &end, 0);
        int width, height;
        if (end != text && !*end) {
            // The caller's list, not ours to destroy.
            auto* list = reinterpret_cast<HIMAGELIST>(UINT_PTR(handle));
            if (ImageList_GetIconSize(list, &width, &height)) images_ = list;
        } else if (const JxImageListLoadFn load = HostImageListLoad()) {
            ownedImages_.reset(load(text, strchr(text, '\n') ? JX_IMAGELIST_MULTILINE : 0));
            if (ownedImages_ && ImageList_GetIconSize(ownedImages_.get(), &width, &height))
                images_ = ownedImages_.get();
            else
                ownedImages_.reset();
        }
    }
    if (images_) {
        imageUnit_ = 1;
        return;
    }
    imageUnit_ = kNoImageUnit;
    ownedImages_.reset(ImageList_Create(kDummyImageWidth, kNoImageUnit, ILC_COLOR, 0, 0));
    images_ = ownedImages_.get();
}

bool DropdownPopup::CreateWindows() {
    // The popup's procedure records its window; the owner destroys it with the object.
    HWND popup = CreateWindowExW(kPopupExStyle, JX_DROPDOWN_CLASS_W, nullptr, kPopupStyle, 0, 0, kInitialSize, kInitialSize, nullptr, nullptr,
                                 g_module.moduleInstance, this);
    if (!popup) return false;
    popupOwner_.reset(popup);
    if (anchor_) {
        HWND root = GetAncestor(anchor_, GA_ROOT);
        if (root && (GetExStyle(root) & WS_EX_TOPMOST)) topmostRoot_ = root;
    }

    const unsigned view = headerFlags_ & JX_DROPDOWN_HEADER_VIEW_MASK;
    viewStyle_ = view == JX_DROPDOWN_VIEW_ICONS_LEFT ? (LVS_SMALLICON | LVS_ALIGNLEFT)
               : view == JX_DROPDOWN_VIEW_ICONS     ? LVS_SMALLICON
                                                    : LVS_REPORT;
    list_ = CreateWindowExW(0, WC_LISTVIEWW, nullptr, WS_CHILD | kListStyle | viewStyle_, 0, 0, kInitialSize,
                            kInitialSize, popup_, reinterpret_cast<HMENU>(INT_PTR(JX_DROPDOWN_LIST_ID)), g_module.moduleInstance,
                            nullptr);
    if (!list_) return false;

    listFont_ = anchor_ ? reinterpret_cast<HFONT>(SendMessageW(anchor_, WM_GETFONT, 0, 0)) : nullptr;
    if (!listFont_) listFont_ = GetDefaultDialogFont();
    SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), FALSE);
    const DWORD exStyle = kListExStyle | (checkMode_ ? LVS_EX_CHECKBOXES : 0);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, exStyle, exStyle);
    // Check boxes come from the display data, like the texts.
    if (checkMode_) SendMessageW(list_, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
    if (HWND listTip = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETTOOLTIPS, 0, 0)))
        SetWindowLongPtrW(listTip, GWL_STYLE, GetWindowLongPtrW(listTip, GWL_STYLE) | TTS_ALWAYSTIP);
    SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images_));

    int color;
    if (CellInt(0, kTextColorColumn, &color)) SendMessageW(list_, LVM_SETTEXTCOLOR, 0, color);
    if (CellInt(0, kBackColorColumn, &color)) {
        SendMessageW(list_, LVM_SETTEXTBKCOLOR, 0, color);
        SendMessageW(list_, LVM_SETBKCOLOR, 0, color);
    }
    if (viewStyle_ == LVS_REPORT) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH;
        column.cx = kInitialColumnWidth;
        SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    } else {
        int width;
        if (HeaderWidth(&width)) SendMessageW(list_, LVM_SETCOLUMNWIDTH, 0, width);
    }
    SendMessageW(list_, LVM_SETITEMCOUNT, WPARAM(itemCount_), LVSICF_NOSCROLL);
    tip_.SetOwner(popup_);
    return true;
}

// ---- Size and placement

void DropdownPopup::SizeAndPlace() {
    RECT itemRect = {};
    ListViewGetItemRect(list_, 0, &itemRect, LVIR_BOUNDS);
    const int h = std::max(1, int(itemRect.bottom));
    int maxRows;
    const int rows = CellInt(0, kMaxRowsColumn, &maxRows) && maxRows >= 1 && maxRows < itemCount_ ? maxRows : itemCount_;
    // Heights in pixels, bounded so that no sum overflows.
    const auto pixels = [h](int count) { return int(std::min<LONGLONG>(LONGLONG(count) * h, INT_MAX / 4)); };
    int height = pixels(rows);
    int full = pixels(itemCount_);

    // The reference point and width, the monitor's work area and the room
    // below and above.
    RECT work = {};
    int x = 0, y = 0, referenceWidth = 0, below = 0, above = 0;
    RECT anchorRect = {};
    if (rect_) {
        reference_ = Reference::kRect;
        if (callFlags_ & JX_DROPDOWN_EXCLUDE_RECT) {
            exclusion_ = *rect_;
            GetCursorPosEx(&cursorAtShow_);
            rect_->left = rect_->right;
            rect_->bottom = rect_->top;
        }
        x = rect_->left;
        y = rect_->top;
        referenceWidth = RectWidth(*rect_);
        if (RectHeight(*rect_) >= 3) height = std::min(height, RectHeight(*rect_) - 2);
        GetMonitorRectFromPoint((rect_->left + rect_->right) / 2, rect_->top, &work, true);
        below = work.bottom - y - kRectMargin;
        above = y - work.top - kRectMargin;
    } else {
        reference_ = Reference::kCursor;
        if (anchor_ && GetWindowRect(anchor_, &anchorRect)) {
            GetMonitorRectFromWindow(&work, anchor_, true);
            below = work.bottom - kAnchorMargin - anchorRect.bottom;
            above = anchorRect.top - work.top - kAnchorMargin;
            const int quarter = (RectHeight(work) - 20) / 4;
            if (below >= quarter || above >= quarter) {
                reference_ = Reference::kAnchor;
                x = anchorRect.left;
                y = anchorRect.bottom;
                referenceWidth = RectWidth(anchorRect);
            }
        }
        if (reference_ == Reference::kCursor) {
            POINT cursor = {};
            GetCursorPosEx(&cursor);
            x = cursor.x;
            y = cursor.y;
            GetMonitorRectFromPoint(x, y, &work, true);
            below = work.bottom - kAnchorMargin - y;
            above = y - work.top - kAnchorMargin;
        }
    }

    // Down when it fits or when there is more room below; rows whole.
    openedUpwards_ = false;
    if (height > below) {
        if (above <= below) {
            height = below;
        } else {
            height = std::min(height, above);
            openedUpwards_ = true;
        }
    }
    height = std::max(h, height / h * h);
    int top = y;
    if (openedUpwards_) {
        top = reference_ == Reference::kRect     ? y - kRectUpGap - height
            : reference_ == Reference::kAnchor   ? anchorRect.top - height - kAnchorUpGap
                                                 : y - kCursorUpGap - height;
    }

    // The width: the reference's, a wider one from the settings, or one
    // measured from the items.
    const int halfWork = RectWidth(work) / 2;
    int width = referenceWidth;
    int given;
    // A given width is kept on the monitor as a computed one is.
    if (HeaderWidth(&given) && given >= width) width = std::max(width, std::min(given + 1, int(RectWidth(work))));
    bool computed = false;
    if (width < 2 * h || (headerFlags_ & JX_DROPDOWN_HEADER_AUTO_WIDTH)) {
        computed = true;
        if (viewStyle_ == LVS_REPORT) {
            width = std::min(MeasuredColumnWidth(halfWork) + kComputedWidthMargin, halfWork);
        } else {
            const int columnWidth = RectWidth(itemRect) + 1;
            int columns = 1;
            while (height < full && columns < kMaxIconColumns && (columns + 1) * columnWidth < halfWork) {
                ++columns;
                full = pixels((itemCount_ + columns - 1) / columns);
            }
            width = columns * columnWidth + 3;
        }
        width = std::max(width, referenceWidth);
    }
    int listWidth = width - kBorder;
    if (computed && height < full && viewStyle_ != (LVS_SMALLICON | LVS_ALIGNLEFT))
        listWidth += GetSystemMetrics(SM_CXVSCROLL);
    int listHeight = height;
    if (viewStyle_ == LVS_SMALLICON) {
        SetWindowPos(list_, nullptr, 0, 0, listWidth, listHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        RECT view = {};
        if (SendMessageW(list_, LVM_GETVIEWRECT, 0, reinterpret_cast<LPARAM>(&view)) && RectHeight(view) < listHeight)
            listHeight = std::max(h, int(RectHeight(view)));
    }
    // Kept on the monitor sideways too.
    const int popupWidth = listWidth + kBorder;
    x = std::max(int(work.left), std::min(x, int(work.right) - popupWidth));
    SetWindowPos(popup_, nullptr, x, top, popupWidth, listHeight + kBorder, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(list_, nullptr, 0, 0, listWidth, listHeight, SWP_NOZORDER | SWP_NOACTIVATE);

    RECT client = {};
    GetClientRect(list_, &client);
    if (viewStyle_ == LVS_REPORT) SendMessageW(list_, LVM_SETCOLUMNWIDTH, 0, client.right);
    if (current_ >= 0) SendMessageW(list_, LVM_ENSUREVISIBLE, WPARAM(current_), FALSE);
    pageSize_ = viewStyle_ == LVS_REPORT ? std::max(1, int(client.bottom) / h) : itemCount_;
}

int DropdownPopup::MeasuredColumnWidth(int limit) {
    // What the list adds to every text (check box, image, padding): its own
    // measure of one item without text. Its measure of all items would ask
    // for each text and take a DC for each, and know neither bold nor indent.
    SendMessageW(list_, LVM_SETITEMCOUNT, 1, LVSICF_NOSCROLL);
    blankItems_ = true;
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
    blankItems_ = false;
    const int around = int(SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0));
    SendMessageW(list_, LVM_SETITEMCOUNT, WPARAM(itemCount_), LVSICF_NOSCROLL);

    int imageWidth = 0, imageHeight = 0;
    ImageList_GetIconSize(images_, &imageWidth, &imageHeight);
    return WidestItem(listFont_, BoldFont(), itemCount_, around, limit, [&](int i) {
        const int row = i + 1;
        // A negative indentation may be drawn as none: it counts as none.
        int indent;
        if (!CellInt(row, kIndentColumn, &indent)) indent = 0;
        return MeasuredItem{CellText(row, kTextColumn), (states_[size_t(i)] & JX_DROPDOWN_ITEM_BOLD) != 0,
                            std::max<LONGLONG>(0, LONGLONG(indent) * imageUnit_ * imageWidth)};
    });
}

void DropdownPopup::ShowAnimated() {
    const bool fade = headerFlags_ & JX_DROPDOWN_HEADER_FADE;
    if (GetSystemParameter(fade ? SPI_GETCOMBOBOXANIMATION : SPI_GETMENUANIMATION)) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW)));
        const DWORD direction = fade ? AW_BLEND : openedUpwards_ ? AW_VER_NEGATIVE : AW_VER_POSITIVE;
        if (AnimateWindow(popup_, 0, direction)) return;
    }
    ShowWindowNoActivate(popup_);
}

// ---- The result

int DropdownPopup::BuildResult() {
    int result = JX_DROPDOWN_RESULT_SHOWN;
    if (checkMode_) {
        if (!IsChoosable(current_)) accepted_ = false;
        const bool changed = std::any_of(states_.begin(), states_.end(),
                                         [](BYTE state) { return state & JX_DROPDOWN_ITEM_CHANGED; });
        if (changed) result |= JX_DROPDOWN_RESULT_CHECKS;
        if (changed || (callFlags_ & JX_DROPDOWN_FROM_TABLE)) {
            if (IsBitmaskMode()) {
                // Bits beyond the items have no check box to change: they stay as given.
                const int count = std::min(itemCount_, 32);
                unsigned bits = count == 32 ? 0 : checkBits_ & ~((1u << count) - 1);
                for (int i = 0; i < count; ++i)
                    if (states_[size_t(i)] & JX_DROPDOWN_ITEM_CHECKED) bits |= 1u << i;
                if (currentOut_)
                    *currentOut_ = int(bits);
                else
                    table_->SetCellHex(0, kCurrentColumn, bits);
            } else if (BYTE* bytes = CheckBytes()) {
                for (int i = 0; i < itemCount_; ++i)
                    bytes[i] = BYTE(states_[size_t(i)] & (JX_DROPDOWN_ITEM_CHECKED | JX_DROPDOWN_ITEM_CHANGED));
            } else if (changed) {
                for (int i = 0; i < itemCount_; ++i) {
                    const BYTE state = states_[size_t(i)];
                    if (state >= kHexFlagsFrom)
                        table_->SetCellHex(i + 1, kFlagsColumn, state);
                    else
                        table_->SetCellInt(i + 1, kFlagsColumn, state);
                }
            }
        }
    }
    if (accepted_) {
        result |= JX_DROPDOWN_RESULT_ACCEPTED;
        if (!IsBitmaskMode() && current_ != initialCurrent_) {
            result |= JX_DROPDOWN_RESULT_CURRENT;
            if (currentOut_)
                *currentOut_ = current_;
            else
                table_->SetCellInt(0, kCurrentColumn, current_);
        }
    }
    return result;
}

// ---- IDropdownPopup

HRESULT DropdownPopup::SetCheck(int index, unsigned flags) {
    if (!checkMode_ || !IsItem(index)) return S_FALSE;
    BYTE& state = states_[size_t(index)];
    if (state & JX_DROPDOWN_ITEM_NO_CHECKBOX) return S_FALSE;
    if ((flags & JX_DROPDOWN_CHECK_NOT_COMMAND) && (state & JX_DROPDOWN_ITEM_COMMAND)) return S_FALSE;
    const bool checked = state & JX_DROPDOWN_ITEM_CHECKED;
    bool wanted = checked;
    switch (flags & JX_DROPDOWN_CHECK_OPERATION_MASK) {
    case JX_DROPDOWN_CHECK_OFF: wanted = false; break;
    case JX_DROPDOWN_CHECK_ON: wanted = true; break;
    case JX_DROPDOWN_CHECK_TOGGLE: wanted = !checked; break;
    }
    if (wanted == checked) return S_OK;

    constexpr BYTE kFlip = JX_DROPDOWN_ITEM_CHECKED | JX_DROPDOWN_ITEM_CHANGED;
    state ^= kFlip;
    int first = index, last = index;
    if (wanted && (state & JX_DROPDOWN_ITEM_EXCLUSIVE)) {
        // Checking one item of an exclusive run unchecks the others.
        for (int i = index - 1; i >= 0 && (states_[size_t(i)] & JX_DROPDOWN_ITEM_EXCLUSIVE); --i)
            if (states_[size_t(i)] & JX_DROPDOWN_ITEM_CHECKED) {
                states_[size_t(i)] ^= kFlip;
                first = i;
            }
        for (int i = index + 1; i < itemCount_ && (states_[size_t(i)] & JX_DROPDOWN_ITEM_EXCLUSIVE); ++i)
            if (states_[size_t(i)] & JX_DROPDOWN_ITEM_CHECKED) {
                states_[size_t(i)] ^= kFlip;
                last = i;
            }
    }
    RedrawItems(first, last);
    if (!(flags & JX_DROPDOWN_CHECK_NO_CALLBACK))
        CallBack(flags & JX_DROPDOWN_CHECK_BY_USER ? JX_DROPDOWN_EVENT_USER_CHECK : JX_DROPDOWN_EVENT_CHECK, index,
                 wanted ? 1 : 0);
    return S_OK;
}

HRESULT DropdownPopup::GetCheck(int index, int* checked) {
    if (!checked) return E_POINTER;
    *checked = checkMode_ && IsItem(index) &&
               (states_[size_t(index)] & (JX_DROPDOWN_ITEM_CHECKED | JX_DROPDOWN_ITEM_NO_CHECKBOX)) ==
                   JX_DROPDOWN_ITEM_CHECKED;
    return S_OK;
}

HRESULT DropdownPopup::SetCurrent(int index, unsigned flags, int* newCurrent) {
    if (!closed_ && index != current_) {
        if (!IsItem(index)) index = -1;
        const unsigned direction = flags & (JX_DROPDOWN_CURRENT_DOWN | JX_DROPDOWN_CURRENT_UP);
        if (index >= 0 && columnCount_ > kFlagsColumn && direction) {
            // The first enabled item that way, turning round once at the end.
            const int step = direction & JX_DROPDOWN_CURRENT_DOWN ? 1 : -1;
            int found = -1;
            for (int n = 0, i = index; n < itemCount_; ++n, i = (i + step + itemCount_) % itemCount_)
                if (!IsDisabled(i)) {
                    found = i;
                    break;
                }
            index = found >= 0 ? found : current_;
        } else if (index >= 0 && IsDisabled(index)) {
            index = -1;
        }
        if (index != current_) {
            const int old = current_;
            current_ = index;
            if (old >= 0) RedrawItems(old, old);
            if (index >= 0) RedrawItems(index, index);
            if (!(flags & JX_DROPDOWN_CURRENT_NO_SCROLL) && list_)
                SendMessageW(list_, LVM_ENSUREVISIBLE, WPARAM(std::max(index, 0)), FALSE);
        }
    }
    if (newCurrent) *newCurrent = current_;
    return S_OK;
}

HRESULT DropdownPopup::Close(unsigned flags) {
    if (closed_) return S_OK;
    closed_ = true;
    accepted_ = flags & JX_DROPDOWN_CLOSE_ACCEPT;
    if (popup_) {
        KillTimer(popup_, kPollTimer);
        ShowWindow(popup_, SW_HIDE);
    }
    tip_.HideTip();
    tip_.Destroy();
    if (!(flags & JX_DROPDOWN_CLOSE_NO_WAKE)) PostMessageW(nullptr, WM_NULL, 0, 0);
    return S_OK;
}

HRESULT DropdownPopup::Update(int first, int last, unsigned flags) {
    if (table_) table_->GetColumnCount(&columnCount_);
    if (last < first) last = first;
    if (flags & JX_DROPDOWN_UPDATE_FLAGS)
        for (int i = std::max(first, 0); i <= last && i < itemCount_; ++i) {
            int value;
            if (!CellInt(i + 1, kFlagsColumn, &value)) break;
            const BYTE old = states_[size_t(i)];
            BYTE state = BYTE(value & JX_DROPDOWN_ITEM_INPUT_MASK);
            if ((state ^ old) & JX_DROPDOWN_ITEM_CHECKED) state |= JX_DROPDOWN_ITEM_CHANGED;
            states_[size_t(i)] = state;
        }
    if (current_ >= 0 && IsDisabled(current_)) current_ = -1;
    RedrawItems(first, last);
    return S_OK;
}

HRESULT DropdownPopup::GetPopupWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = popup_;
    return S_OK;
}

HRESULT DropdownPopup::GetListWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = list_;
    return S_OK;
}

HRESULT DropdownPopup::GetCurrent(int* index) {
    if (!index) return E_POINTER;
    *index = current_;
    return S_OK;
}

HRESULT DropdownPopup::GetStates(JxByteArray* states) {
    if (!states) return E_POINTER;
    EnsureByteArray(*states, itemCount_);
    if (itemCount_ > 0) memcpy(states->data, states_.data(), size_t(itemCount_));
    return S_OK;
}

HRESULT DropdownPopup::GetTable(IUnknown** table) {
    if (!table) return E_POINTER;
    if (table_) table_->AddRef();
    IUnknown* old = *table;
    *table = table_;
    if (old) old->Release();
    return S_OK;
}

// ---- The popup window

LRESULT CALLBACK DropdownPopup::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtHostBoundary([&]() -> LRESULT {
        if (message == WM_NCCREATE) {
            auto* popup = static_cast<DropdownPopup*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(popup));
            if (popup) popup->popup_ = window;
        }
        auto* popup = reinterpret_cast<DropdownPopup*>(GetWindowLongPtrW(window, 0));
        if (!popup) return DefWindowProcW(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, 0, 0);
            // Whoever destroyed it, the popup no longer owns a window.
            (void)popup->popupOwner_.release();
            popup->popup_ = nullptr;
            popup->list_ = nullptr;
            return DefWindowProcW(window, message, wParam, lParam);
        }
        return popup->OnMessage(message, wParam, lParam);
    });
}

LRESULT DropdownPopup::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetTimer(popup_, kPollTimer, kPollMs, nullptr);
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_MOUSEACTIVATE:
        return HIWORD(lParam) == WM_LBUTTONDOWN ? MA_NOACTIVATE : MA_NOACTIVATEANDEAT;
    case WM_DESTROY:
    case WM_ENDSESSION:
    case WM_ACTIVATEAPP:
        Close(0);
        break;
    }
    return DefWindowProcW(popup_, message, wParam, lParam);
}

LRESULT DropdownPopup::OnNotify(NMHDR* header) {
    if (!header || header->hwndFrom != list_) return 0;
    switch (header->code) {
    case LVN_GETDISPINFOW:
        OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(header));
        return 0;
    case NM_CUSTOMDRAW:
        return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
    case LVN_GETINFOTIPW:
        OnGetInfoTip(reinterpret_cast<NMLVGETINFOTIPW*>(header));
        return 0;
    case LVN_HOTTRACK: {
        // The item under the mouse becomes current; the list tracks nothing itself.
        const auto* view = reinterpret_cast<NMLISTVIEW*>(header);
        if (view->iItem >= 0) SetCurrent(view->iItem, JX_DROPDOWN_CURRENT_NO_SCROLL, nullptr);
        return 1;
    }
    }
    return 0;
}

void DropdownPopup::OnGetDispInfo(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    if (!IsItem(item.iItem)) return;
    const int row = item.iItem + 1;
    const BYTE state = states_[size_t(item.iItem)];
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0)
        ToWideCut(blankItems_ ? "" : CellText(row, kTextColumn), item.pszText, item.cchTextMax, scratch_);
    if (item.mask & LVIF_IMAGE) {
        int image;
        item.iImage = CellInt(row, kImageColumn, &image) ? image : -1;
    }
    if ((item.mask & LVIF_STATE) && checkMode_ && !(state & JX_DROPDOWN_ITEM_NO_CHECKBOX)) {
        item.state = (item.state & ~LVIS_STATEIMAGEMASK) |
                     INDEXTOSTATEIMAGEMASK(state & JX_DROPDOWN_ITEM_CHECKED ? 2 : 1);
        item.stateMask |= LVIS_STATEIMAGEMASK;
    }
    if (item.mask & LVIF_INDENT) {
        int indent;
        if (blankItems_)
            item.iIndent = 0;
        else if (CellInt(row, kIndentColumn, &indent))
            item.iIndent = indent * imageUnit_;
        else if (checkMode_ && (state & JX_DROPDOWN_ITEM_NO_CHECKBOX) && imageUnit_ != 1)
            item.iIndent = -imageUnit_;
        else
            item.iIndent = 0;
    }
}

LRESULT DropdownPopup::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        const int index = int(draw->nmcd.dwItemSpec);
        if (!IsItem(index)) return CDRF_DODEFAULT;
        const BYTE state = states_[size_t(index)];
        const int row = index + 1;
        int color;
        if (index == current_) {
            draw->clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
            draw->clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
        } else {
            const bool defaults = headerFlags_ & JX_DROPDOWN_HEADER_GREY_DEFAULTS;
            if (CellInt(row, kTextColorColumn, &color))
                draw->clrText = COLORREF(color);
            else if (defaults && (state & JX_DROPDOWN_ITEM_DISABLED))
                draw->clrText = kDisabledText;
            if (CellInt(row, kBackColorColumn, &color))
                draw->clrTextBk = COLORREF(color);
            else if (defaults && (state & JX_DROPDOWN_ITEM_HEADING) == JX_DROPDOWN_ITEM_HEADING)
                draw->clrTextBk = kHeadingBackground;
        }
        if (state & JX_DROPDOWN_ITEM_BOLD)
            if (const HFONT bold = BoldFont()) SelectObject(draw->nmcd.hdc, bold);
        return CDRF_NEWFONT;
    }
    }
    return CDRF_DODEFAULT;
}

void DropdownPopup::OnGetInfoTip(const NMLVGETINFOTIPW* tip) {
    if (!(tip->dwFlags & LVGIT_UNFOLDED) && !listTipTopmost_) {
        listTipTopmost_ = true;
        if (HWND listTip = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETTOOLTIPS, 0, 0)))
            SetWindowPos(listTip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    const char* text = IsItem(tip->iItem) ? CellText(tip->iItem + 1, kInfoTipColumn) : "";
    RECT item = {};
    if (!*text || !ListViewGetItemRect(list_, tip->iItem, &item, LVIR_BOUNDS)) {
        tip_.HideTip();
        return;
    }
    tip_.ShowTip(text, item.right, (item.top + item.bottom) / 2, list_, TTF_TRACK | TTF_ABSOLUTE);
}

void DropdownPopup::RedrawItems(int first, int last) const {
    if (list_) SendMessageW(list_, LVM_REDRAWITEMS, WPARAM(first), LPARAM(last));
}

void DropdownPopup::CallBack(int code, int index, int value) {
    if (!callback_) return;
    const DropdownEvent event = {this, code, index, value};
    callback_(parameter_, &event);
}

}  // namespace controls
