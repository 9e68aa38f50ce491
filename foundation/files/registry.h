// Registry keys and values read as numbers or 8-bit text.
#pragma once
#include <windows.h>
#include "text/str.h"

// A hive (or any open key) and whether a 32-bit process on 64-bit Windows
// reads the 64-bit view.
struct RegistryHive {
    HKEY key = nullptr;  // null: HKEY_CURRENT_USER
    bool native64 = false;
    RegistryHive(HKEY hiveKey = nullptr, bool nativeView = false) : key(hiveKey), native64(nativeView) {}
};

// Subkey value that uses the hive itself as the open key (it is then not closed).
inline constexpr const char* kRegistryHiveItself = nullptr;

// Owns an open registry key.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // False with the system error as the thread's last error.
    bool Open(bool create, const char* subkey, RegistryHive hive = {}, REGSAM access = KEY_QUERY_VALUE);
    HKEY Get() const { return key_; }
    void Close();

private:
    HKEY key_ = nullptr;
    bool owned_ = false;
};

// The REG_DWORD value, or 0: another type gives ERROR_INVALID_DATA, a value
// of 0 gives last error 0.
DWORD ReadRegistryDword(const char* subkey, const char* name, RegistryHive hive = {});

// `type` of ReadRegistryString: any text value; other values require that exact REG_* type.
constexpr DWORD kRegistryAnyText = REG_NONE;
// Reads a value (`name` null: the key's default value) into `out`: text
// values as 8-bit text (REG_EXPAND_SZ expanded, REG_MULTI_SZ as items each
// followed by a NUL), with kRegistryAnyText numbers as decimal text, other
// data as raw bytes. Returns the text length + 1, or the byte count of raw
// data; 0 with `out` set to `fallback` on failure (or with last error 0 for
// empty raw data).
int ReadRegistryString(str& out, const char* subkey, const char* name, const char* fallback = "",
                       RegistryHive hive = {}, DWORD type = kRegistryAnyText);
