// Every shipped binary carries the tree's version, read back the way
// Explorer's Details tab and installers read it.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class VersionInfo {
public:
    explicit VersionInfo(const wchar_t* file) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
        if (size == 0) return;
        block_.resize(size);
        if (!GetFileVersionInfoW(file, 0, size, block_.data())) block_.clear();
    }

    bool Found() const { return !block_.empty(); }

    const VS_FIXEDFILEINFO* Fixed() const {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block_.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

    // A value of the US English, UTF-16 string table.
    std::wstring Text(const wchar_t* name) const {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block_.data(), path.c_str(), &value, &length) || length == 0) return {};
        return static_cast<const wchar_t*>(value);
    }

private:
    std::vector<BYTE> block_;
};

class VersionResource : public testing::TestWithParam<const wchar_t*> {};

TEST_P(VersionResource, CarriesTheTreesVersionAndNames) {
    const VersionInfo info(GetParam());
    ASSERT_TRUE(info.Found()) << "no version resource, error " << GetLastError();
    const VS_FIXEDFILEINFO* fixed = info.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
    const DWORD expectedMs = MAKELONG(JX_VERSION_MINOR, JX_VERSION_MAJOR);
    const DWORD expectedLs = MAKELONG(0, JX_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, expectedMs);
    EXPECT_EQ(fixed->dwFileVersionLS, expectedLs);
    EXPECT_EQ(fixed->dwProductVersionMS, expectedMs);
    EXPECT_EQ(fixed->dwProductVersionLS, expectedLs);
    EXPECT_EQ(info.Text(L"FileVersion"), JX_VERSION_TEXT);
    EXPECT_EQ(info.Text(L"ProductVersion"), JX_VERSION_TEXT);
    EXPECT_EQ(info.Text(L"OriginalFilename"), GetParam());
    EXPECT_FALSE(info.Text(L"CompanyName").empty());
    EXPECT_FALSE(info.Text(L"ProductName").empty());
    EXPECT_FALSE(info.Text(L"FileDescription").empty());
}

INSTANTIATE_TEST_SUITE_P(ShippedBinaries, VersionResource, testing::Values(L"jxgrid.dll", L"jxplus.dll", L"jxdd.exe"));

}  // namespace
