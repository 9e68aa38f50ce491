// Child-control search and the control-name message.
#include "window/control_discovery.h"
#include <string.h>
#include <algorithm>
#include <wchar.h>
#include "runtime/module_state.h"
#include "regex/regex.h"
#include "window/window_class.h"

namespace {
constexpr DWORD kRemoteAccess = PROCESS_VM_OPERATION | PROCESS_VM_READ;
constexpr SIZE_T kRemoteBytes = RemoteBuffer::kUnits * sizeof(wchar_t);
constexpr char kWildcardChars[] = "*?";

// oleacc's way to a process handle for a window when OpenProcess is denied;
// null when the system has none.
using GetProcessHandleFromHwndFn = HANDLE(WINAPI*)(HWND);
GetProcessHandleFromHwndFn ProcessHandleFromWindowApi() {
    static const GetProcessHandleFromHwndFn fn = [] {
        GetProcessHandleFromHwndFn bound = nullptr;
        BindProcs(kBindSilent, "oleacc", {{"GetProcessHandleFromHwnd", &bound}});
        return bound;
    }();
    return fn;
}

using RegexPatternList = std::vector<RegexPattern, HostAllocator<RegexPattern>>;

struct ControlSearch {
    HWND parent;
    ControlCallback callback;
    void* userData;
    const char* className;
    int id;
    const char* wantedName;  // null: no name test
    const RemoteBuffer* remote;
    str nameRead{};
    str classRead{};
    RegexPatternList patterns{};  // with kFindRegex: one per class name
    int count = 0;
    int offered = 0;  // windows handed to the callback
    ATOM classAtom = 0;
    WindowList setAside{};
};

// The class names searched for: one, or each of a list.
template <class Visit>
void ForEachClassName(const char* className, unsigned flags, Visit visit) {
    if (!(flags & kFindClassList)) {
        visit(className, 0);
        return;
    }
    int index = 0;
    for (const char* name = className; *name; name += strlen(name) + 1) visit(name, index++);
}

// With kFindRegex: every class name compiled; false when one does not.
bool CompileClassPatterns(ControlSearch& search, unsigned flags) {
    bool compiled = true;
    ForEachClassName(search.className, flags, [&](const char* name, int) {
        search.patterns.push_back(RegexCompile(name, kRegexIgnoreCase));
        compiled = compiled && search.patterns.back();
    });
    return compiled;
}

bool NameMatches(const ControlSearch& search, const char* wanted, int index, unsigned flags) {
    const char* windowClass = search.classRead.Text();
    if (flags & kFindRegex) return RegexMatch(windowClass, search.patterns[size_t(index)].get(), kRegexPatternCompiled) >= 0;
    if (flags & kFindWildcard) return WildcardMatch(true, windowClass, wanted);
    return Compare(windowClass, wanted, true) == 0;
}

bool ClassMatches(ControlSearch& search, HWND window, unsigned flags) {
    if (search.classAtom) return GetClassLongW(window, GCW_ATOM) == search.classAtom;
    if (!search.className) return true;
    GetClassNameText(window, search.classRead);
    bool matches = false;
    ForEachClassName(search.className, flags, [&](const char* name, int index) {
        matches = matches || NameMatches(search, name, index, flags);
    });
    // A plain class name is compared by atom from the first match on.
    if (matches && !(flags & (kFindWildcard | kFindRegex | kFindClassList | kFindSelfOnly)))
        search.classAtom = ATOM(GetClassLongW(window, GCW_ATOM));
    return matches;
}

// The name test and the callback; false when the search must stop.
bool Offer(ControlSearch& search, HWND window) {
    if (search.wantedName && (!GetControlName(*search.remote, window, search.nameRead) ||
                              !WildcardMatch(true, search.nameRead.Text(), search.wantedName)))
        return true;
    ++search.offered;
    if (search.callback(window, search.userData)) return true;
    search.setAside.clear();
    return false;
}

// One window through every test; false when the search must stop.
bool TestWindow(ControlSearch& search, HWND window, unsigned flags) {
    if ((flags & kFindDirectChildren) && GetParent(window) != search.parent) return true;
    if ((flags & kFindById) && GetDlgCtrlID(window) != search.id) return true;
    if (!ClassMatches(search, window, flags)) return true;
    if (!(flags & (kFindVisibleFirst | kFindVisibleOnly)) || IsWindowVisible(window)) {
        ++search.count;
        return Offer(search, window);
    }
    if (!(flags & kFindVisibleOnly)) search.setAside.push_back(window);
    return true;
}

struct EnumContext {
    ControlSearch* search;
    unsigned flags;
};

BOOL CALLBACK TestDescendant(HWND window, LPARAM parameter) {
    auto* context = reinterpret_cast<EnumContext*>(parameter);
    return TestWindow(*context->search, window, context->flags);
}

int CollectWindow(HWND window, void* list) {
    static_cast<WindowList*>(list)->push_back(window);
    return TRUE;
}
}  // namespace

UINT GetControlNameMessage() {
    static const UINT message = RegisterWindowMessageA(JX_MSG_GETCONTROLNAME);
    return message;
}

RemoteBuffer::~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_.Get(), address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::Open(HWND window) {
    DWORD processId = 0;
    if (!GetWindowThreadProcessId(window, &processId)) return false;
    processId_ = processId;
    process_.Reset(OpenProcess(kRemoteAccess, FALSE, processId));
    if (!process_ && ProcessHandleFromWindowApi()) process_.Reset(ProcessHandleFromWindowApi()(window));
    if (!process_) return false;
    // Readable and writable is all a name needs.
    address_ = VirtualAllocEx(process_.Get(), nullptr, kRemoteBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return address_ != nullptr;
}

bool RemoteBuffer::Serves(HWND window) const {
    DWORD processId = 0;
    return address_ && GetWindowThreadProcessId(window, &processId) && processId == processId_;
}

bool RemoteBuffer::Read(wchar_t* local, int units) const {
    const SIZE_T bytes = SIZE_T(std::clamp(units, 0, kUnits)) * sizeof(wchar_t);
    SIZE_T read = 0;
    return address_ && ReadProcessMemory(process_.Get(), address_, local, bytes, &read) && read == bytes;
}

bool GetControlName(const RemoteBuffer& buffer, HWND control, str& out) {
    out.Empty();
    DWORD_PTR units = 0;
    if (!buffer.Serves(control)) return false;
    if (!SendMessageTimeoutEx(control, GetControlNameMessage(), RemoteBuffer::kUnits, buffer.Address(),
                              JX_CONTROL_NAME_TIMEOUT_MS, &units, false) ||
        units < 1)
        return false;
    // The answer is another program's word: never read past the buffer.
    const int length = int(std::min<DWORD_PTR>(units, RemoteBuffer::kUnits));
    str wide;
    wchar_t* local = wide.GetWideBuffer(length);
    if (!buffer.Read(local, length)) return false;
    out.FromWide(local, int(wcsnlen(local, size_t(length))));
    return !out.IsEmpty();
}

int EnumChildControls(HWND parent, ControlCallback callback, void* userData, unsigned flags, const char* className,
                      int id, const char* name) {
    if (className && !(flags & kFindRegex) && FindFirstOf(className, kWildcardChars)) flags |= kFindWildcard;
    RemoteBuffer remote;
    if (name && !remote.Open(parent)) return 0;
    ControlSearch search{parent, callback, userData, className, id, name, &remote};
    if (className && (flags & kFindRegex) && !CompileClassPatterns(search, flags)) return 0;

    if (flags & kFindSelfOnly) {
        TestWindow(search, parent, flags & ~unsigned(kFindVisibleFirst | kFindParentFirst | kFindDirectChildren));
        return search.offered ? 1 : 0;
    }
    if ((flags & kFindParentFirst) &&
        !TestWindow(search, parent, flags & ~unsigned(kFindVisibleFirst | kFindVisibleOnly | kFindDirectChildren)))
        return search.count;
    EnumContext context{&search, flags};
    EnumChildWindows(parent, TestDescendant, reinterpret_cast<LPARAM>(&context));
    for (size_t i = 0; i < search.setAside.size(); ++i)
        if (!Offer(search, search.setAside[i])) break;
    return search.count;
}

int FindChildControls(HWND parent, WindowList& list, unsigned flags, const char* className, int id) {
    list.clear();
    return EnumChildControls(parent, CollectWindow, &list, flags, className, id, nullptr);
}
