#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "files/registry.h"

namespace {

const wchar_t kTestKey[] = L"Software\\jx-tests";

// The test key under HKEY_CURRENT_USER, deleted with its values afterwards.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(key_.Open(true, "Software\\jx-tests", {}, KEY_SET_VALUE | KEY_QUERY_VALUE)); }
    void TearDown() override {
        key_.Close();
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        SetEnvironmentVariableW(L"JX_REG_VAR", nullptr);
    }
    void Set(const wchar_t* name, DWORD type, const void* data, size_t size) {
        ASSERT_EQ(RegSetValueExW(key_.Get(), name, 0, type, static_cast<const BYTE*>(data), DWORD(size)), 0);
    }
    void SetText(const wchar_t* name, DWORD type, const std::wstring& text) {
        Set(name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }

    RegistryKey key_;
};

TEST_F(RegistryTest, ReadRegistryStringTurnsEachTypeIntoTextOrBytes) {
    SetEnvironmentVariableW(L"JX_REG_VAR", L"value");
    const std::wstring longText(3000, L'x');
    const DWORD dword = 0xFFFFFFFFu;
    const ULONGLONG qword = 1ull << 40;
    const BYTE binary[] = {1, 0, 3};
    SetText(L"sz", REG_SZ, L"text");
    SetText(L"empty", REG_SZ, L"");
    SetText(L"accent", REG_SZ, L"\u00E9");
    SetText(L"long", REG_SZ, longText);
    Set(L"unterminated", REG_SZ, L"abc", 3 * sizeof(wchar_t));
    SetText(L"expand", REG_EXPAND_SZ, L"%JX_REG_VAR%\\x");
    Set(L"multi", REG_MULTI_SZ, L"a\0b\0", 5 * sizeof(wchar_t));
    Set(L"multiUnterminated", REG_MULTI_SZ, L"a\0b", 3 * sizeof(wchar_t));
    Set(L"dword", REG_DWORD, &dword, sizeof dword);
    Set(L"qword", REG_QWORD, &qword, sizeof qword);
    Set(L"binary", REG_BINARY, binary, sizeof binary);

    struct Case {
        const char* name;
        DWORD type;
        int result;
        std::string value;
    };
    const Case cases[] = {
        {"sz", kRegistryAnyText, 5, "text"},
        {"sz", REG_SZ, 5, "text"},
        {"empty", kRegistryAnyText, 1, ""},
        {"accent", kRegistryAnyText, 3, "\xC3\xA9"},
        {"long", kRegistryAnyText, 3001, std::string(3000, 'x')},
        {"unterminated", kRegistryAnyText, 4, "abc"},
        {"expand", kRegistryAnyText, 8, "value\\x"},
        {"expand", REG_EXPAND_SZ, 8, "value\\x"},
        {"multi", kRegistryAnyText, 5, std::string("a\0b\0", 4)},
        {"multiUnterminated", REG_MULTI_SZ, 5, std::string("a\0b\0", 4)},
        {"dword", kRegistryAnyText, 11, "4294967295"},
        {"qword", kRegistryAnyText, 14, "1099511627776"},
        {"binary", kRegistryAnyText, 3, std::string("\x01\x00\x03", 3)},
        {"dword", REG_DWORD, 4, std::string("\xFF\xFF\xFF\xFF", 4)},
    };
    for (const Case& c : cases) {
        str out("old");
        EXPECT_EQ(ReadRegistryString(out, "Software\\jx-tests", c.name, "fallback", {}, c.type), c.result) << c.name;
        EXPECT_EQ(std::string(out.Text(), size_t(out.len)), c.value) << c.name;
    }
}

TEST_F(RegistryTest, ReadRegistryStringFailuresGiveTheFallback) {
    SetText(L"sz", REG_SZ, L"text");
    Set(L"nothing", REG_BINARY, "", 0);
    struct Case {
        const char* subkey;
        const char* name;
        DWORD type;
        DWORD error;
    };
    for (const Case& c : {Case{"Software\\jx-tests", "sz", REG_EXPAND_SZ, ERROR_INVALID_DATA},
                          Case{"Software\\jx-tests", "missing", kRegistryAnyText, ERROR_FILE_NOT_FOUND},
                          Case{"Software\\jx-tests\\missing", "sz", kRegistryAnyText, ERROR_FILE_NOT_FOUND}}) {
        str out("old");
        EXPECT_EQ(ReadRegistryString(out, c.subkey, c.name, "fallback", {}, c.type), 0) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
        EXPECT_STREQ(out.Text(), "fallback");
    }
    str out("old");
    SetLastError(ERROR_INVALID_DATA);
    EXPECT_EQ(ReadRegistryString(out, "Software\\jx-tests", "nothing"), 0);
    EXPECT_EQ(GetLastError(), 0u) << "empty data is no failure";
    EXPECT_STREQ(out.Text(), "");
}

TEST_F(RegistryTest, ReadRegistryDwordAcceptsOnlyDwords) {
    const DWORD seven = 7;
    const DWORD zero = 0;
    Set(L"seven", REG_DWORD, &seven, sizeof seven);
    Set(L"zero", REG_DWORD, &zero, sizeof zero);
    SetText(L"sz", REG_SZ, L"7");
    struct Case {
        const char* name;
        DWORD value;
        DWORD error;
    };
    for (const Case& c : {Case{"seven", 7, 0}, Case{"zero", 0, 0}, Case{"sz", 0, ERROR_INVALID_DATA},
                          Case{"missing", 0, ERROR_FILE_NOT_FOUND}}) {
        SetLastError(ERROR_GEN_FAILURE);
        EXPECT_EQ(ReadRegistryDword("Software\\jx-tests", c.name), c.value) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
}

TEST_F(RegistryTest, AnOpenKeyServesAsItsOwnHive) {
    const DWORD seven = 7;
    Set(L"seven", REG_DWORD, &seven, sizeof seven);
    {
        RegistryKey hive;
        EXPECT_TRUE(hive.Open(false, kRegistryHiveItself, key_.Get()));
        EXPECT_EQ(hive.Get(), key_.Get());
    }  // not closed by `hive`
    EXPECT_EQ(ReadRegistryDword(kRegistryHiveItself, "seven", key_.Get()), 7u);
    EXPECT_EQ(ReadRegistryDword("Software\\jx-tests", "seven", HKEY_CURRENT_USER), 7u);

    RegistryKey missing;
    EXPECT_FALSE(missing.Open(false, "Software\\jx-tests\\missing"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(missing.Get(), nullptr);
}

}  // namespace
