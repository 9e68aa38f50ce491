// jxgrid.dll loaded by the host's pieces, a parent window that records what
// its grids notify, and a grid driven by messages as an owner drives it.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include "counting_allocator.h"
#include "thread_windows.h"
#include "host_string.h"
#include "jx/grid.h"
#include "loaded_library.h"

namespace grid_test {

using test_support::LiveBlocks;
using test_support::Pump;
using test_support::ThreadWindows;

// Item data is pointer-sized: a host keeps its records' addresses there, and
// on x64 they lie above 4 GB.
#ifdef _WIN64
constexpr LPARAM kHighItemData = LPARAM(0x123456789ABCDEF0);
constexpr LPARAM kNegativeItemData = -LPARAM(0x100000007);
constexpr char kTooLargeItemData[] = "18446744073709551616";  // 2^64
#else
constexpr LPARAM kHighItemData = LPARAM(0x7FFFABCD);
constexpr LPARAM kNegativeItemData = -7;
constexpr char kTooLargeItemData[] = "4294967296";  // 2^32
#endif

// A top-level window, parent of the grids under test.
class Parent {
public:
    struct Notice {
        UINT code;
        int reason;  // JX_GRID_CHANGED only
    };

    Parent() {
        static const ATOM atom = test_support::RegisterTestClass(L"JX_GridTestParent", Procedure);
        window_ = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(ULONG_PTR(atom)), L"grid test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                  640, 480, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    }
    ~Parent() {
        if (window_) DestroyWindow(window_);
    }
    Parent(const Parent&) = delete;
    Parent& operator=(const Parent&) = delete;

    HWND Handle() const { return window_; }
    // Notices of the grids' own codes and label editing, oldest first.
    std::vector<Notice> notices;
    // Called for every grid change notification before it is recorded.
    std::function<void(const GridNotify&)> onChange;
    // Answers any notification of a grid when set; its result is returned.
    std::function<LRESULT(const NMHDR&)> answer;
    // Label-editing notifications, oldest first.
    std::vector<UINT> labelEdits;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<Parent*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == WM_NOTIFY) {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            const int code = int(header->code);
            if (code <= JX_GRID_CHANGED && code >= JX_GRID_BUTTON_CLICKED) {
                const auto& note = *reinterpret_cast<const GridNotify*>(header);
                self->notices.push_back({header->code, code == JX_GRID_CHANGED ? note.reason : 0});
                if (code == JX_GRID_CHANGED && self->onChange) self->onChange(note);
            }
            if (header->code == LVN_BEGINLABELEDITA || header->code == LVN_ENDLABELEDITA)
                self->labelEdits.push_back(header->code);
            if (self->answer) return self->answer(*header);
        }
        if (message == WM_NCDESTROY) self->window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
};

// A JX_Grid child of `parent`, created with `definition` as its window text.
class Grid {
public:
    Grid(HWND parent, const wchar_t* definition, int id = 1)
        : window_(CreateWindowExW(0, L"" JX_GRID_CLASS, definition, WS_CHILD | WS_VISIBLE, 0, 0, 600, 400, parent,
                                  reinterpret_cast<HMENU>(INT_PTR(id)), nullptr, nullptr)) {}
    ~Grid() {
        if (window_ && IsWindow(window_)) DestroyWindow(window_);
    }
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;

    HWND Handle() const { return window_; }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageW(window_, message, wParam, lParam);
    }
    bool SetCsv(const char* text) const { return Send(JX_GRID_CSV, JX_GRID_CSV_SET, LPARAM(text)) != FALSE; }
    std::string Csv() const {
        jxhost::HostString out("");
        Send(JX_GRID_CSV, JX_GRID_CSV_GET, LPARAM(out.Record()));
        return std::string(out.Text());
    }
    int Rows() const { return int(Send(JX_GRID_QUERY, JX_GRID_QUERY_ROWS, 0)); }
    int Columns() const {
        int columns = 0;
        Send(JX_GRID_QUERY, JX_GRID_QUERY_ROWS, LPARAM(&columns));
        return columns;
    }
    int ItemCount() const { return int(Send(LVM_GETITEMCOUNT)); }
    int HeaderColumns() const { return int(SendMessageW(HWND(Send(LVM_GETHEADER)), HDM_GETITEMCOUNT, 0, 0)); }
    // The text the list view shows, asked of it (it asks the grid through
    // the parent).
    std::wstring Shown(int row, int column) const {
        wchar_t text[260] = {};
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 260;
        Send(LVM_GETITEMW, 0, LPARAM(&item));
        return text;
    }
    std::string Packed(unsigned flags, LRESULT* result = nullptr) const {
        jxhost::HostString out("");
        const LRESULT fields = Send(JX_GRID_GETPACKED, flags, LPARAM(out.Record()));
        if (result) *result = fields;
        return std::string(out.Text());
    }
    LPARAM ItemData(int row) const {
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        Send(LVM_GETITEMW, 0, LPARAM(&item));
        return item.lParam;
    }
    UINT StateImage(int row) const { return UINT(Send(LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK)) >> 12; }

private:
    HWND window_;
};

// jxgrid.dll for one test, loaded under the allocator's code page; at the
// end every window is gone and every block the test's grids took is back.
class GridTest : public ::testing::Test {
protected:
    void SetUp() override { Load(JX_DEFAULT_CODE_PAGE); }
    void TearDown() override {
        Pump();
        EXPECT_EQ(ThreadWindows(), windowsBefore_) << "every window is destroyed";
        EXPECT_EQ(LiveBlocks(), blocksBefore_) << "every block the grids took is given back";
        if (library_) {
            EXPECT_EQ(library_->Unload().blocks, 0);
        }
        library_.reset();
        jxhost::Allocator().SetCodePage(JX_DEFAULT_CODE_PAGE);
    }
    // Loads the library again under `codePage`.
    void Load(UINT codePage) {
        if (library_) library_->Unload();
        library_.reset();
        jxhost::Allocator().SetCodePage(codePage);
        library_.emplace(L"jxgrid.dll");
        ASSERT_TRUE(library_->Loaded()) << library_->LoadError();
        windowsBefore_ = ThreadWindows();
        blocksBefore_ = LiveBlocks();
    }

    std::optional<jxhost::LoadedLibrary> library_;
    int windowsBefore_ = 0;
    size_t blocksBefore_ = 0;
};

// A row drag as the user makes it, with the owner acting while the button
// is held: the press and a first move are posted to the grid, `whileHeld`
// runs from a timer inside the drag's capture loop, then the pointer moves
// to `release` and the button comes up there. A safety timer ends a loop
// that would not end by itself.
inline std::function<void()>& HeldAction() {
    static std::function<void()> action;
    return action;
}
inline void CALLBACK RunHeldAction(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    const std::function<void()> action = std::move(HeldAction());
    HeldAction() = nullptr;
    if (action) action();
}
inline void CALLBACK EndStuckCapture(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    ReleaseCapture();
}
inline void DragWhileOwnerActs(HWND grid, POINT press, POINT release, const std::function<void()>& whileHeld) {
    PostMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(press.x, press.y));
    PostMessageW(grid, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(press.x, press.y + 8));
    HeldAction() = [=] {
        whileHeld();
        if (!IsWindow(grid)) return;
        PostMessageW(grid, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(release.x, release.y));
        PostMessageW(grid, WM_LBUTTONUP, 0, MAKELPARAM(release.x, release.y));
    };
    const UINT_PTR arming = SetTimer(nullptr, 0, 10, RunHeldAction);
    const UINT_PTR safety = SetTimer(nullptr, 0, 5000, EndStuckCapture);
    Pump();
    KillTimer(nullptr, arming);
    KillTimer(nullptr, safety);
    HeldAction() = nullptr;
}

// The middle of a row's or cell's rectangle as the list view gives it.
inline POINT MiddleOf(HWND grid, int row, int column = -1) {
    RECT rect = {};
    rect.top = column < 0 ? 0 : column;
    rect.left = column < 0 ? LVIR_BOUNDS : LVIR_LABEL;
    SendMessageW(grid, column < 0 ? LVM_GETITEMRECT : LVM_GETSUBITEMRECT, WPARAM(row), LPARAM(&rect));
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Three text columns under an empty settings row.
inline const wchar_t* const kThreeColumns = L"\r\nA\r\nB\r\nC\r\n";

}  // namespace grid_test
