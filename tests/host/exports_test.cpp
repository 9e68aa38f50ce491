#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "counting_allocator.h"
#include "handles.h"
#include "host_exports.h"

namespace {

namespace fs = std::filesystem;
using jxhost::Allocator;

// Looked up exactly as the libraries do it.
template <typename Fn>
Fn HostExport(const char* name) {
    return reinterpret_cast<Fn>(GetProcAddress(GetModuleHandleA(nullptr), name));
}

TEST(HostExports, AreFoundByNameInTheMainModule) {
    for (const char* name : {JX_HOST_EXPORT_INTERFACE, JX_HOST_EXPORT_SET_CLASS_FLAGS, JX_HOST_EXPORT_IMAGE_LIST_LOAD,
                             JX_HOST_EXPORT_GET_FILE_ICON})
        EXPECT_NE(GetProcAddress(GetModuleHandleA(nullptr), name), nullptr) << name;
}

TEST(HostExports, InterfaceForDllReturnsTheConfiguredTable) {
    auto interfaceForDll = HostExport<JxInterfaceForDllFn>(JX_HOST_EXPORT_INTERFACE);
    ASSERT_NE(interfaceForDll, nullptr);
    EXPECT_EQ(interfaceForDll()->codePage, UINT{JX_DEFAULT_CODE_PAGE});
    EXPECT_EQ(interfaceForDll()->hostWindow, nullptr);

    const auto window = reinterpret_cast<HWND>(0x1234);
    for (UINT codePage : {0u, 1252u}) {
        Allocator().SetCodePage(codePage);
        Allocator().SetHostWindow(window);
        EXPECT_EQ(interfaceForDll()->codePage, codePage);
        EXPECT_EQ(interfaceForDll()->hostWindow, window);
    }
    Allocator().SetCodePage(JX_DEFAULT_CODE_PAGE);
    Allocator().SetHostWindow(nullptr);
}

TEST(HostExports, SetWindowClassFlagsRecordsEveryCall) {
    jxhost::ClearWindowClassFlagsCalls();
    auto setFlags = HostExport<JxSetWindowClassFlagsFn>(JX_HOST_EXPORT_SET_CLASS_FLAGS);
    ASSERT_NE(setFlags, nullptr);
    setFlags("JX_ComboBox", 9);
    setFlags("JX_Edit", 1);
    std::vector<jxhost::WindowClassFlags> calls = jxhost::WindowClassFlagsCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].className, "JX_ComboBox");
    EXPECT_EQ(calls[0].flags, 9);
    EXPECT_EQ(calls[1].className, "JX_Edit");
    EXPECT_EQ(calls[1].flags, 1);
    jxhost::ClearWindowClassFlagsCalls();
}

// A 16x16 32-bit icon file: directory, one entry, then the image as a
// bottom-up DIB of twice the height (colour rows, then the AND mask rows).
std::vector<char> SmallIconFile() {
    constexpr int kSide = 16;
    constexpr int kColourBytes = kSide * kSide * 4;
    constexpr int kMaskRowBytes = 4;  // 16 bits padded to 32
    constexpr int kImageBytes = sizeof(BITMAPINFOHEADER) + kColourBytes + kSide * kMaskRowBytes;
#pragma pack(push, 2)
    struct IconDirectory {
        WORD reserved, type, count;
        BYTE width, height, colours, reserved2;
        WORD planes, bitCount;
        DWORD bytes, offset;
    };
#pragma pack(pop)
    constexpr WORD kIconType = 1;
    IconDirectory directory{0, kIconType, 1, kSide, kSide, 0, 0, 1, 32, kImageBytes, sizeof(IconDirectory)};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = kSide;
    header.biHeight = 2 * kSide;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;

    std::vector<char> file(reinterpret_cast<char*>(&directory), reinterpret_cast<char*>(&directory + 1));
    file.insert(file.end(), reinterpret_cast<char*>(&header), reinterpret_cast<char*>(&header + 1));
    file.insert(file.end(), kColourBytes, '\x7F');
    file.insert(file.end(), kSide * kMaskRowBytes, '\0');
    return file;
}

// Icon files in a fresh folder, removed with the fixture.
class IconExportsTest : public ::testing::Test {
protected:
    IconExportsTest() : folder_(fs::temp_directory_path() / ("jxhost_icons_" + std::to_string(GetCurrentProcessId()))) {
        fs::create_directories(folder_);
        std::vector<char> icon = SmallIconFile();
        for (const wchar_t* name : {L"a.ico", L"b.ico", L"caf\u00E9.ico"})
            std::ofstream(folder_ / name, std::ios::binary).write(icon.data(), static_cast<std::streamsize>(icon.size()));
    }
    ~IconExportsTest() override {
        Allocator().SetCodePage(JX_DEFAULT_CODE_PAGE);
        fs::remove_all(folder_);
    }

    // The temporary folder is plain ASCII, the same text in every code page.
    std::string Folder() const { return folder_.string() + "\\"; }

    fs::path folder_;
};

int ImageCount(const char* text, int flags) {
    jxhost::UniqueImageList list(__ImageListLoad(text, flags));
    return list ? ImageList_GetImageCount(list.get()) : 0;
}

TEST_F(IconExportsTest, ImageListLoadTakesOnePathOrOnePerLine) {
    const std::string a = Folder() + "a.ico";
    const std::string b = Folder() + "b.ico";
    const std::string missing = Folder() + "missing.ico";
    struct Case {
        std::string text;
        int flags;
        int images;  // 0: no list
    } cases[] = {
        {a, 0, 1},
        {a + "\r\n" + b + "\n\n" + a + "\n", JX_IMAGELIST_MULTILINE, 3},
        {a + "\n" + b, 0, 0},  // without the flag the line feed is part of the path
        {a + "\n" + missing, JX_IMAGELIST_MULTILINE, 0},
        {missing, 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ImageCount(c.text.c_str(), c.flags), c.images) << c.text;
}

TEST_F(IconExportsTest, PathsAreReadInTheTableCodePage) {
    struct Case {
        UINT codePage;
        const char* name;
    } cases[] = {{65001, "caf\xC3\xA9.ico"}, {1252, "caf\xE9.ico"}};
    for (const Case& c : cases) {
        Allocator().SetCodePage(c.codePage);
        const std::string path = Folder() + c.name;
        EXPECT_EQ(ImageCount(path.c_str(), 0), 1) << c.codePage;
        EXPECT_NE(jxhost::UniqueIcon(GetFileIcon(path.c_str(), 0, 0)), nullptr) << c.codePage;
    }
}

TEST_F(IconExportsTest, GetFileIconIsNullForAFileWithoutIcons) {
    const std::string text = Folder() + "plain.txt";
    std::ofstream(folder_ / "plain.txt") << "no icon here";
    EXPECT_EQ(GetFileIcon(text.c_str(), 0, 0), nullptr);
    EXPECT_EQ(GetFileIcon((Folder() + "missing.ico").c_str(), 0, 0), nullptr);
}

}  // namespace
