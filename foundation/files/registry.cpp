// Registry keys and values read as numbers or 8-bit text.
#include "files/registry.h"
#include <limits.h>
#include <stdint.h>
#include <string.h>
#include "runtime/module_state.h"
#include "files/paths.h"
#include "files/wide_call.h"

namespace {
constexpr DWORD kFirstQueryBytes = 2000;
// Leaves room for the string's own terminators.
constexpr DWORD kMaxValueBytes = INT_MAX / 2;

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The value's bytes into `data` (with two NUL bytes after them) and its type.
LSTATUS QueryValue(HKEY key, const char* name, str& data, DWORD& type) {
    const WideText wideName(name);
    DWORD capacity = kFirstQueryBytes;
    for (;;) {
        DWORD size = capacity;
        const LSTATUS status = RegQueryValueExW(key, wideName.Get(), nullptr, &type,
                                                reinterpret_cast<BYTE*>(data.GetBuffer(int(capacity))), &size);
        if (status == ERROR_MORE_DATA && size > capacity) {
            if (size > kMaxValueBytes) return ERROR_OUTOFMEMORY;
            capacity = size;
            continue;
        }
        if (status == ERROR_SUCCESS) data.FixLength(int(size));
        return status;
    }
}

// Text of a REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ value; returns length + 1.
int TextValue(str& out, str& data, DWORD type) {
    data.FixLength(data.len & ~1);  // an odd byte is no character; the next unit is then NUL
    const wchar_t* units = data.Wide();
    int count = data.WideLength();
    if (count > 0 && units[count - 1] == 0) --count;
    if (type == REG_EXPAND_SZ) {
        if (!ExpandEnvironmentVariables(out, units)) out.FromWide(units, count);
    } else {
        out.FromWide(units, count);
        if (type == REG_MULTI_SZ && count > 0 && units[count - 1] != 0) out.AppendChar(0);
    }
    return out.len + 1;
}

// Returns the result of ReadRegistryString, or -1 with the last error set.
int ReadValue(str& out, const char* subkey, const char* name, RegistryHive hive, DWORD type) {
    RegistryKey key;
    if (!key.Open(false, subkey, hive, KEY_QUERY_VALUE)) return -1;
    str data;
    DWORD stored = REG_NONE;
    const LSTATUS status = QueryValue(key.Get(), name, data, stored);
    if (status != ERROR_SUCCESS) {
        SetLastError(DWORD(status));
        return -1;
    }
    const bool anyText = type == kRegistryAnyText || type == REG_SZ;
    if (!anyText && stored != type) {
        SetLastError(ERROR_INVALID_DATA);
        return -1;
    }
    if (IsTextType(stored)) return TextValue(out, data, stored);
    if (anyText && (stored == REG_DWORD || stored == REG_QWORD)) {
        uint64_t value = 0;  // a value stored shorter than its type is zero-extended
        memcpy(&value, data.buf, size_t(data.len) < sizeof value ? size_t(data.len) : sizeof value);
        if (stored == REG_DWORD)
            out.Format("%u", unsigned(value & 0xFFFFFFFFu));
        else
            out.Format("%I64u", static_cast<unsigned long long>(value));
        return out.len + 1;
    }
    out.Swap(data);
    return out.len;
}
}  // namespace

bool RegistryKey::Open(bool create, const char* subkey, RegistryHive hive, REGSAM access) {
    Close();
    const HKEY root = hive.key ? hive.key : HKEY_CURRENT_USER;
    if (hive.native64 && g_module.isWow64) access |= KEY_WOW64_64KEY;
    if (subkey == kRegistryHiveItself) {
        key_ = root;
        return true;
    }
    HKEY opened = nullptr;
    const LSTATUS status =
        create ? RegCreateKeyExU(root, subkey, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &opened, nullptr)
               : RegOpenKeyExU(root, subkey, 0, access, &opened);
    if (status != ERROR_SUCCESS) {
        SetLastError(DWORD(status));
        return false;
    }
    key_ = opened;
    owned_ = true;
    return true;
}

void RegistryKey::Close() {
    if (owned_) RegCloseKey(key_);
    key_ = nullptr;
    owned_ = false;
}

DWORD ReadRegistryDword(const char* subkey, const char* name, RegistryHive hive) {
    RegistryKey key;
    if (!key.Open(false, subkey, hive, KEY_QUERY_VALUE)) return 0;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status =
        RegQueryValueExW(key.Get(), WideText(name).Get(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
        SetLastError(DWORD(status));
        return 0;
    }
    if (status == ERROR_MORE_DATA || type != REG_DWORD || size != sizeof value) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return value;
}

int ReadRegistryString(str& out, const char* subkey, const char* name, const char* fallback, RegistryHive hive,
                       DWORD type) {
    str result;  // the arguments may lie inside `out`
    const int n = ReadValue(result, subkey, name, hive, type);
    if (n < 0) {
        const DWORD error = GetLastError();
        out.Assign(fallback);
        SetLastError(error);
        return 0;
    }
    out.Swap(result);
    if (n == 0) SetLastError(ERROR_SUCCESS);
    return n;
}

LSTATUS RegCreateKeyExU(HKEY key, const char* subkey, const char* keyClass, DWORD options, REGSAM access,
                        SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition) {
    return RegCreateKeyExW(key, WideText(subkey).Get(), 0, const_cast<wchar_t*>(WideText(keyClass).Get()), options,
                           access, security, result, disposition);
}

LSTATUS RegOpenKeyExU(HKEY key, const char* subkey, DWORD options, REGSAM access, HKEY* result) {
    return RegOpenKeyExW(key, WideText(subkey).Get(), options, access, result);
}
