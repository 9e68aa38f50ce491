#include "runtime/errors.h"
#include <errno.h>
#include <stdint.h>
#include <string.h>
#include <memory>
#include <utility>
#include <vector>
#include "runtime/host_alloc.h"
#include "runtime/module_state.h"
#include "runtime/scoped_handle.h"
#include "runtime/thread_state.h"
#include "runtime/wait_lock.h"

namespace {
const char kOutOfMemoryText[] = "failed to allocate memory";
const char kNoCrtError[] = "No error\n";
// Prefix endings that already close a sentence: only a space follows them.
const char kSentencePunctuation[] = "!,.:;=?";

constexpr DWORD kMessageFromModule =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kMessageFromSystem =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

struct BlockFree {
    void operator()(void* block) const { HostFree(block); }
};

// A block built from the queue and not yet sent.
struct OutgoingBlock {
    std::unique_ptr<void, BlockFree> data;
    DWORD size;
};

struct ErrorQueue {
    std::vector<uint32_t, HostAllocator<uint32_t>> offsets;
    str texts;  // the queued texts back to back, each followed by a NUL byte
    // Built blocks in the order of their flushes, and whether a thread is
    // sending them.
    std::vector<OutgoingBlock, HostAllocator<OutgoingBlock>> outgoing;
    bool sending = false;
    RecursiveLock lock;
};

ErrorQueue& Queue() {
    static ErrorQueue queue;
    return queue;
}

// True when `p` points into this module's loaded image (a literal of ours).
bool IsInModuleImage(const void* p) {
    const BYTE* base = reinterpret_cast<const BYTE*>(g_module.moduleInstance);
    if (!base) return false;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const BYTE* at = static_cast<const BYTE*>(p);
    return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
}

void SystemMessageText(str& out, const char* module, DWORD code) {
    if (code == 0) code = GetLastError();
    if (code == 0) return;
    wchar_t* text = nullptr;  // FormatMessageW's LocalAlloc block
    if (SafeLen(module) > 0) {
        str wideName;
        wideName.ToWide(module);
        UniqueModule library(LoadLibraryExW(wideName.Wide(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!library) return;
        FormatMessageW(kMessageFromModule, library.get(), code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    } else {
        FormatMessageW(kMessageFromSystem, nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    }
    UniqueLocal message(text);
    if (text) out.FromWide(text);
}

// With code 0 the runtime's current error (errno) is meant; when it has none,
// the text is empty (runtimes differ in how they word "no error").
void RuntimeMessageText(str& out, DWORD code) {
    if (code == 0 && errno == 0) return;
    const char* text = code ? g_api.strerror(int(code)) : g_api._strerror(nullptr);
    if (text && strcmp(text, kNoCrtError) != 0) out.Assign(text);
}
}  // namespace

bool SetErrorText(const char* text) {
    if (ThreadState* state = GetThreadState()) state->errorText.Assign(text);
    return false;
}

bool FormatErrorText(const char* format, ...) {
    ThreadState* state = GetThreadState();
    if (!state) return false;
    str text;  // formatted aside: an argument may point into the old text
    va_list args;
    va_start(args, format);
    text.FormatV(false, format, args);
    va_end(args);
    state->errorText.Swap(text);
    return false;
}

const char* GetErrorText() {
    ThreadState* state = GetThreadState();
    return state ? state->errorText.Text() : "";
}

void RaiseError(int code, const char* message) {
    JxException error{};
    error.kind = JX_EXCEPTION_LIBRARY;
    error.code = code;
    error.message = message;
    if (message && !IsInModuleImage(message)) {
        // The thrower's buffer may be gone by the time the host reads it.
        ThreadState* state = GetThreadState();
        if (state) {
            state->errorText.Assign(message);
            error.message = state->errorText.Text();
        } else {
            error.message = kOutOfMemoryText;
        }
    }
    throw error;
}

void RaiseOutOfMemory() { RaiseError(JX_ERROR_OUT_OF_MEMORY, kOutOfMemoryText); }

HRESULT HResultFromLastError() {
    const DWORD error = GetLastError();
    if (error == 0) return E_FAIL;
    if (LONG(error) < 0) return HRESULT(error);
    return HRESULT(0x80070000u | (error & 0xFFFF));
}

void ReportError(const char* format, ...) {
    str message;
    va_list args;
    va_start(args, format);
    message.FormatV(false, format, args);
    va_end(args);

    ErrorQueue& queue = Queue();
    {
        LockGuard guard(queue.lock);
        queue.offsets.reserve(queue.offsets.size() + 1);
        queue.offsets.push_back(uint32_t(queue.texts.AppendWithNul(message.Text(), message.len)));
    }
    Hooks().FlushErrorQueue(0);
}

namespace {
// Makes one block of the queued messages and empties the queue (under its lock).
OutgoingBlock TakeQueuedBlock(ErrorQueue& queue) {
    const uint32_t count = uint32_t(queue.offsets.size());
    const uint32_t textLength = uint32_t(queue.texts.len);
    const size_t offsetsSize = count * sizeof(uint32_t);
    // Header, offsets, texts, and a final NUL after the (empty) caption.
    const size_t size = sizeof(JxErrorBlockHeader) + offsetsSize + textLength + 1;
    OutgoingBlock block{std::unique_ptr<void, BlockFree>(HostAllocOrRaise(size)), DWORD(size)};
    BYTE* at = static_cast<BYTE*>(block.data.get());
    const JxErrorBlockHeader header = {count, textLength};
    memcpy(at, &header, sizeof header);
    memcpy(at + sizeof header, queue.offsets.data(), offsetsSize);
    memcpy(at + sizeof header + offsetsSize, queue.texts.buf, textLength);
    at[size - 1] = 0;

    queue.offsets.clear();
    queue.offsets.shrink_to_fit();
    queue.texts.Clear();
    return block;
}

void SendToHost(const OutgoingBlock& block) {
    COPYDATASTRUCT data = {};
    data.dwData = JX_ERROR_BLOCK_DATA(g_module.codePage);
    data.cbData = block.size;
    data.lpData = block.data.get();
    SendMessageW(GetHostWindow(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

// The sending thread's role; given up without the lock only when an
// exception passes, which at worst leaves a block to the next flush.
class SenderRole {
public:
    explicit SenderRole(ErrorQueue& queue) : queue_(queue) {}
    ~SenderRole() {
        if (!ended_) queue_.sending = false;
    }
    SenderRole(const SenderRole&) = delete;
    SenderRole& operator=(const SenderRole&) = delete;
    // The next block to send, or none when the role ends (under the lock).
    bool Next(OutgoingBlock& block) {
        LockGuard guard(queue_.lock);
        if (queue_.outgoing.empty()) {
            queue_.outgoing.shrink_to_fit();  // the queue holds no block between flushes
            queue_.sending = false;
            ended_ = true;
            return false;
        }
        block = std::move(queue_.outgoing.front());
        queue_.outgoing.erase(queue_.outgoing.begin());
        return true;
    }

private:
    ErrorQueue& queue_;
    bool ended_ = false;
};
}  // namespace

void SendErrorQueue() {
    ErrorQueue& queue = Queue();
    {
        LockGuard guard(queue.lock);
        if (!queue.offsets.empty()) {
            queue.outgoing.reserve(queue.outgoing.size() + 1);
            queue.outgoing.push_back(TakeQueuedBlock(queue));
        }
        if (queue.sending || queue.outgoing.empty()) return;  // the sending thread sends it after its own
        queue.sending = true;
    }
    // Sent outside the lock: the host window's thread may report an error
    // meanwhile, and its wait for the lock would not answer the send.
    SenderRole role(queue);
    OutgoingBlock block;
    while (role.Next(block)) SendToHost(block);
}

void FormatSystemError(str& out, const char* prefix, const char* module, DWORD code) {
    str text;
    if (module && Compare(module, "C", true) == 0)
        RuntimeMessageText(text, code);
    else
        SystemMessageText(text, module, code);
    text.TrimRight();
    if (!text.IsEmpty() && !text.EndsWith('.')) text.AppendChar('.');

    const int prefixLength = SafeLen(prefix);
    if (prefixLength == 0) {
        out.Swap(text);
        return;
    }
    prefix = TempCopyIfInside(out, prefix);
    const char last = prefix[prefixLength - 1];
    const char* joint = "";
    if (static_cast<BYTE>(last) > ' ') {
        const bool closesSentence = strchr(kSentencePunctuation, last) != nullptr;
        if (text.IsEmpty())
            joint = closesSentence ? "" : ".";
        else
            joint = closesSentence ? " " : ". ";
    }
    out.Build({StrPiece(prefix, prefixLength), StrPiece(joint), StrPiece(text.Text(), text.len)});
}

int ShowMessageBox(HWND owner, UINT type, const char* format, ...) {
    HWND parent = nullptr;
    if (owner == kOwnerForeground) {
        HWND foreground = GetForegroundWindow();
        if (foreground && GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId()) parent = foreground;
    } else if (owner) {
        parent = GetAncestor(owner, GA_ROOT);
    }
    if (!parent || !IsWindowVisible(parent)) type |= MB_TOPMOST;

    str text;
    if (format && strchr(format, '%')) {
        va_list args;
        va_start(args, format);
        text.FormatV(false, format, args);
        va_end(args);
    } else {
        text.Assign(format ? format : "");
    }
    str wide;
    wide.ToWide(text.Text());
    return MessageBoxW(parent, wide.Wide(), nullptr, type);
}
