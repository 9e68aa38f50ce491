// The dropdown list popup, class JX_Dropdown: one DropdownPopup per show
// request, with a virtual list view over the rows of a CSV table and a modal
// loop on the calling thread. The flags, records and the IDropdownPopup
// interface are in jx/dropdown.h.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <vector>
#include "jx/csv_table.h"
#include "jx/dropdown.h"
#include "jx/unique_handle.h"
#include "runtime/host_alloc.h"
#include "text/str.h"
#include "window/fonts.h"
#include "window/tooltip.h"

namespace controls {

using UniqueWindow = jx::UniqueHandle<HWND, DestroyWindow>;
using UniqueImageList = jx::UniqueHandle<HIMAGELIST, ImageList_Destroy>;

// What a show call asks for (the arguments of ShowDropdown).
// ShowDropdown for the library's own callers: its exceptions stay the
// library's (the export lets them out to the host).
int RunDropdown(ICsvTable* table, int* current, unsigned flags, HWND anchor, RECT* rect, DropdownCallback callback,
                void* parameter, IDropdownPopup** popupOut, void* checks);

struct DropdownRequest {
    ICsvTable* table;
    int* current;
    unsigned flags;
    HWND anchor;
    RECT* rect;
    DropdownCallback callback;
    void* parameter;
    void* checks;  // JxByteArray*, or SAFEARRAY** with JX_DROPDOWN_SAFEARRAY
};

// For a list opened beside a menu item: true when the pointer, over a menu
// window, went back into the menu instead of towards the list (measured from
// `reference`). Over any other window `reference` is moved so far down that
// every later return to the menu counts.
bool PointerReturnedToMenu(POINT cursor, POINT& reference);

class DropdownPopup final : public IDropdownPopup, public HostObject {
public:
    DropdownPopup() = default;
    DropdownPopup(const DropdownPopup&) = delete;
    DropdownPopup& operator=(const DropdownPopup&) = delete;

    // Shows the list, runs the loop until it closes and writes the results
    // back; returns the JX_DROPDOWN_RESULT_* bits, 0 when nothing was shown.
    int Run(const DropdownRequest& request);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SetCheck(int index, unsigned flags) override;
    HRESULT STDMETHODCALLTYPE GetCheck(int index, int* checked) override;
    HRESULT STDMETHODCALLTYPE SetCurrent(int index, unsigned flags, int* newCurrent) override;
    HRESULT STDMETHODCALLTYPE Close(unsigned flags) override;
    HRESULT STDMETHODCALLTYPE Update(int first, int last, unsigned flags) override;
    HRESULT STDMETHODCALLTYPE GetPopupWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE GetListWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE GetCurrent(int* index) override;
    HRESULT STDMETHODCALLTYPE GetStates(JxByteArray* states) override;
    HRESULT STDMETHODCALLTYPE GetTable(IUnknown** table) override;

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    using StateList = std::vector<BYTE, HostAllocator<BYTE>>;

    // Where the popup opens from.
    enum class Reference { kRect, kAnchor, kCursor };

    ~DropdownPopup() = default;

    // ---- Show request steps (dropdown_popup.cpp)
    bool ReadSettings(const DropdownRequest& request, int& initial);
    void SortItems();
    void PrepareCheckArray();
    // The check array's elements (at least the item count), null without one.
    BYTE* CheckBytes() const;
    void TakeInitialChecks(int initial);
    void LoadImages();
    bool CreateWindows();
    void SizeAndPlace();
    // Report view: the column width that shows every item whole, at most `limit`.
    int MeasuredColumnWidth(int limit);
    void ShowAnimated();
    int BuildResult();

    // ---- Table reads
    // The cell as a number; false when missing or not a number.
    bool CellInt(int row, int column, int* value) const;
    const char* CellText(int row, int column) const;
    bool IsItem(int index) const { return unsigned(index) < unsigned(itemCount_); }
    bool IsDisabled(int index) const { return states_[size_t(index)] & JX_DROPDOWN_ITEM_DISABLED; }
    // In check mode only items without a check box or command items can be chosen.
    bool IsChoosable(int index) const;
    bool IsBitmaskMode() const { return headerFlags_ & JX_DROPDOWN_HEADER_BITMASK; }
    // The width of cell (0,6) in pixels; false when not given.
    bool HeaderWidth(int* width);
    // The list font in bold, made on first use; null when it cannot be made.
    HFONT BoldFont();

    // ---- The modal loop (dropdown_loop.cpp)
    // Returns false when the loop ended on WM_QUIT (its exit code in `quitCode`).
    bool RunLoop(int& quitCode);
    // True when the message was handled here and must not be dispatched.
    bool FilterMessage(MSG& message);
    bool OnLoopKeyDown(const MSG& message);
    bool OnLoopMouseMove(const MSG& message);
    void OnLoopButtonDown(const MSG& message);
    void RetargetCapturedMouse(MSG& message) const;
    void MoveCurrentByKey(WPARAM key);
    void TrackHotItem(POINT client);
    void Poll();
    void RedrawItems(int first, int last) const;
    void CallBack(int code, int index, int value);

    // ---- The popup window's messages
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(NMHDR* header);
    void OnGetDispInfo(NMLVDISPINFOW* info);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    void OnGetInfoTip(const NMLVGETINFOTIPW* tip);

    StateList states_;
    TooltipHolder tip_;
    FontHandle boldFont_;
    LONG refCount_ = 1;
    ICsvTable* table_ = nullptr;
    int itemCount_ = 0;
    int columnCount_ = 0;
    unsigned headerFlags_ = 0;
    unsigned callFlags_ = 0;
    UniqueImageList ownedImages_;  // a loaded or dummy image list; goes after the windows
    UniqueWindow popupOwner_;
    HWND popup_ = nullptr;
    HWND list_ = nullptr;
    HWND anchor_ = nullptr;
    HWND topmostRoot_ = nullptr;  // the anchor's top-level window when it is topmost
    int current_ = -1;
    int initialCurrent_ = -1;
    DWORD viewStyle_ = LVS_REPORT;
    int imageUnit_ = 16;
    int buttonSnapshot_ = kNoSnapshot;
    int pageSize_ = 1;
    HFONT listFont_ = nullptr;
    int averageCharWidth_ = 0;
    DropdownCallback callback_ = nullptr;
    void* parameter_ = nullptr;
    int* currentOut_ = nullptr;
    void* checks_ = nullptr;
    RECT* rect_ = nullptr;
    unsigned checkBits_ = 0;      // bit-mask mode's initial check bits
    HIMAGELIST images_ = nullptr;
    Reference reference_ = Reference::kCursor;
    bool openedUpwards_ = false;
    BYTE checkMode_ = 0;
    bool accepted_ = false;
    bool closed_ = false;
    bool mouseEntered_ = false;
    bool buttonPressedOnItem_ = false;
    bool listTipTopmost_ = false;
    bool blankItems_ = false;  // the items show no text and no indent while the list measures its own part
    RECT exclusion_ = {};
    POINT cursorAtShow_ = {};  // screen; with JX_DROPDOWN_EXCLUDE_RECT the menu-leaving reference
    POINT cursorInList_ = {};  // list client coordinates at show time
    str scratch_;

    static constexpr int kNoSnapshot = int(0xA0A0A0A0);
    static constexpr UINT_PTR kPollTimer = 1;
};

}  // namespace controls
