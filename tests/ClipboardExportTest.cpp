// The clipboard export, read back through the real clipboard.
#include "options/CaptureOptions.h"
#include "output/ClipboardExport.h"
#include "platform/FileSystem.h"
#include "tests/OptionsFixture.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <thread>

namespace {

constexpr char kOptions[] =
    "<ToolOptions><ProgramOptions Name='P'><O Name='MultipleCaptureProfiles' Value='0'/></ProgramOptions>"
    "<Profiles Name='Profiles'><Profile Name='DefaultProfile'><O Name='TargetType' Value='png'/>"
    "</Profile></Profiles><HotKeys/></ToolOptions>";

std::string ClipboardBytes(UINT format) {
    std::string bytes;
    if (!::OpenClipboard(nullptr)) return "<busy>";
    if (HANDLE data = ::GetClipboardData(format)) {
        const void* p = ::GlobalLock(data);
        bytes.assign(static_cast<const char*>(p), ::GlobalSize(data));
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return bytes;
}

class Clipboard : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        LoadOptionsFrom(kOptions);
        owner = ::CreateWindowExW(0, L"STATIC", L"clipboard owner", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                  nullptr);
        folder = ClipboardImageFolder();
        testfiles::RemoveTree(folder);
    }
    void TearDown() override {
        ::DestroyWindow(owner);
        OptionsFiles::TearDown();
    }
    CCaptureImage Picture() {
        CCaptureImage image;
        EXPECT_TRUE(image.Create(640, 480, 24, kImageBmp));
        for (long y = 0; y < 480; ++y) std::memset(image.Row(y), static_cast<int>(y / 2), image.Stride());
        return image;
    }
    HWND owner = nullptr;
    std::wstring folder;
};

}  // namespace

TEST(HtmlClipboardBlock, WorkedExampleOffsets) {
    const std::optional<std::string> block = BuildHtmlClipboardBlock(L"C:\\T\\captureclip0.png", 640, 480);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->size(), 243u);
    EXPECT_EQ(*block,
              "Version:1.0\nStartHTML:00000092\nEndHTML:00000243\nStartFragment:00000137\nEndFragment:00000210\n"
              "<html><head></head><body><!--StartFragment--><div><img src=\"file:///C:\\T\\captureclip0.png\" "
              "width=640 height=480></div><!--EndFragment-->\n</body></html>");
}

TEST(HtmlClipboardBlock, OffsetsFollowThePathLengthInBytes) {
    const std::optional<std::string> block = BuildHtmlClipboardBlock(L"C:\\Temp\\\u00e9t\u00e9\\c.jpg", 1, 22);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->substr(0, 92 + 6).substr(92), "<html>");
    const size_t end = block->find("</html>") + 7;
    EXPECT_EQ(end, block->size());
    EXPECT_NE(block->find("EndHTML:" + std::string(8 - std::to_string(end).size(), '0') + std::to_string(end)),
              std::string::npos);
}

TEST(HtmlClipboardBlock, NoBlockWhenItCannotBeWrittenFaithfully) {
    EXPECT_FALSE(BuildHtmlClipboardBlock(L"C:\\" + std::wstring(1100, L'a') + L".png", 1, 1).has_value())
        << "longer than the 1,024-byte block";
    EXPECT_FALSE(BuildHtmlClipboardBlock(L"C:\\missing\\\u4e2d\u6587.png", 1, 1).has_value())
        << "a name with no ANSI form and no short name";
}

TEST_F(Clipboard, PutsTheDibAndTheHtmlBlockPointingAtANumberedCopy) {
    const CCaptureImage image = Picture();
    ASSERT_TRUE(CopyCaptureToClipboard(*options, image, owner));
    const std::wstring first = folder + L"captureclip0.png";
    EXPECT_TRUE(platform::FileExists(first));
    EXPECT_EQ(platform::FolderOf(first), GetTempFolder(false) + L"Veltrane\\Snapwell\\");
    EXPECT_EQ(unixtools::Identify(first, "%m %w %h"), "PNG 640 480");

    const std::string dib = ClipboardBytes(CF_DIB);
    ASSERT_EQ(dib.size(), image.BlockSize());
    EXPECT_EQ(std::memcmp(dib.data(), image.Block(), image.BlockSize()), 0);
    const std::string html = ClipboardBytes(::RegisterClipboardFormatW(L"HTML Format"));
    const std::optional<std::string> expected = BuildHtmlClipboardBlock(first, 640, 480);
    ASSERT_TRUE(expected.has_value());
    EXPECT_EQ(html.substr(0, expected->size() + 1), *expected + std::string(1, '\0'));

    ASSERT_TRUE(CopyCaptureToClipboard(*options, image, owner));
    EXPECT_TRUE(platform::FileExists(folder + L"captureclip1.png")) << "the first copy is kept";
    EXPECT_NE(ClipboardBytes(::RegisterClipboardFormatW(L"HTML Format")).find("captureclip1.png"), std::string::npos);
}

TEST_F(Clipboard, GreyImagesGoAsPalettedDibs) {
    CCaptureImage image = Picture();
    ASSERT_TRUE(image.GrayScale());
    ASSERT_TRUE(CopyCaptureToClipboard(*options, image, owner));
    const std::string dib = ClipboardBytes(CF_DIB);
    ASSERT_GE(dib.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof(header));
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biClrUsed, 256u);
    EXPECT_EQ(dib.size(), 40u + 1024 + 640 * 480);
}

TEST_F(Clipboard, BusyClipboardCopiesNothing) {
    std::promise<void> opened, release;
    std::thread holder([&] {
        ::OpenClipboard(nullptr);
        opened.set_value();
        release.get_future().wait();
        ::CloseClipboard();
    });
    opened.get_future().wait();
    EXPECT_FALSE(CopyCaptureToClipboard(*options, Picture(), owner));
    release.set_value();
    holder.join();
    EXPECT_FALSE(platform::FileExists(folder + L"captureclip0.png")) << "no temporary file either";
}
