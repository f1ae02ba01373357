// The clipboard export, read back through the real clipboard.
#include "options/CaptureOptions.h"
#include "output/ClipboardExport.h"
#include "platform/FileSystem.h"
#include "tests/OptionsFixture.h"
#include "tests/ScreenTools.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                           bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                                           nullptr)));
    return bytes;
}

// The "captureclip" copies in a folder, sorted.
std::vector<std::wstring> ClipCopies(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const std::wstring& name : testfiles::List(folder))
        if (name.rfind(L"captureclip", 0) == 0) names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

// The header value of an "HTML Format" block ("EndFragment"), or -1.
long HeaderNumber(const std::string& block, const std::string& name) {
    const size_t at = block.find("\n" + name + ":");
    if (at == std::string::npos) return -1;
    return std::stol(block.substr(at + name.size() + 2, 8));
}

// A window that holds the clipboard before a copy, and notes what the
// disk held when the copy took the clipboard from it (WM_DESTROYCLIPBOARD
// comes from the copy's EmptyClipboard).
struct EarlierOwner {
    HWND window = nullptr;
    std::wstring watched;
    bool notified = false;
    std::string watchedBytesThen;

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DESTROYCLIPBOARD) {
            auto* self = reinterpret_cast<EarlierOwner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self != nullptr) {
                self->notified = true;
                self->watchedBytesThen =
                    platform::FileExists(self->watched) ? testfiles::Read(self->watched) : std::string();
            }
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    explicit EarlierOwner(std::wstring file) : watched(std::move(file)) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"SnapwellTestClipboardOwner";
        ::RegisterClassW(&wc);
        window = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                   nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        if (::OpenClipboard(window)) {
            ::EmptyClipboard();
            if (HGLOBAL text = ::GlobalAlloc(GMEM_MOVEABLE, 2)) {
                std::memcpy(::GlobalLock(text), "x", 2);
                ::GlobalUnlock(text);
                if (::SetClipboardData(CF_TEXT, text) == nullptr) ::GlobalFree(text);
            }
            ::CloseClipboard();
        }
    }
    ~EarlierOwner() { ::DestroyWindow(window); }
};

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
    // "HTML Format" is UTF-8 whatever the code page: each "é" is two bytes,
    // so the fragment ends two bytes later than the characters suggest.
    const std::optional<std::string> block = BuildHtmlClipboardBlock(L"C:\\Temp\\\u00e9t\u00e9\\c.jpg", 1, 22);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(*block,
              "Version:1.0\nStartHTML:00000092\nEndHTML:00000238\nStartFragment:00000137\nEndFragment:00000205\n"
              "<html><head></head><body><!--StartFragment--><div><img src=\"file:///C:\\Temp\\\xc3\xa9t\xc3\xa9\\c.jpg\" "
              "width=1 height=22></div><!--EndFragment-->\n</body></html>");
    EXPECT_EQ(block->substr(205 - 6, 6), "</div>");
    EXPECT_EQ(block->size(), 238u);

    // Characters of no single-byte code page, and one beyond the 16-bit
    // range (four bytes, from a surrogate pair).
    const std::optional<std::string> wide = BuildHtmlClipboardBlock(L"C:\\\u4e2d\u6587\\\U0001F4F7.png", 10, 10);
    ASSERT_TRUE(wide.has_value());
    EXPECT_NE(wide->find("file:///C:\\\xe4\xb8\xad\xe6\x96\x87\\\xf0\x9f\x93\xb7.png\""), std::string::npos);
    EXPECT_NE(wide->find("EndFragment:00000" + std::to_string(137 + 23 + 18 + 8 + 2 + 8 + 2 + 7)), std::string::npos);
}

TEST(HtmlClipboardBlock, NoBlockWhenItCannotBeWrittenFaithfully) {
    EXPECT_FALSE(BuildHtmlClipboardBlock(L"C:\\" + std::wstring(1100, L'a') + L".png", 1, 1).has_value())
        << "longer than the 1,024-byte block";
    EXPECT_FALSE(BuildHtmlClipboardBlock(L"C:\\broken\\\xd800.png", 1, 1).has_value())
        << "half a surrogate pair names no file";
    EXPECT_TRUE(BuildHtmlClipboardBlock(L"C:\\" + std::wstring(255, L'\u6587') + L".png", 1, 1).has_value())
        << "a longest path of three-byte characters still fits";
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

TEST_F(Clipboard, ANonAsciiTempFolderGivesAUtf8LinkWithByteOffsets) {
    // A user called Jürgen: the temporary folder is in his profile.
    const std::wstring temp = GetTempFolder(false) + L"J\u00fcrgen \u0416\\";
    testfiles::RemoveTree(temp);
    ::CreateDirectoryW(temp.c_str(), nullptr);
    wchar_t savedTmp[MAX_PATH] = {}, savedTemp[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
    ::GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
    ::SetEnvironmentVariableW(L"TMP", temp.c_str());
    ::SetEnvironmentVariableW(L"TEMP", temp.c_str());
    const bool copied = CopyCaptureToClipboard(*options, Picture(), owner);
    const std::string html = ClipboardBytes(::RegisterClipboardFormatW(L"HTML Format"));
    ::SetEnvironmentVariableW(L"TMP", savedTmp);
    ::SetEnvironmentVariableW(L"TEMP", savedTemp);

    EXPECT_TRUE(copied);
    const std::wstring copy = temp + L"Veltrane\\Snapwell\\captureclip0.png";
    EXPECT_EQ(testfiles::Read(copy).substr(0, 8), "\x89PNG\r\n\x1a\n") << "the copy the link names";
    const std::string link = "<img src=\"file:///" + Utf8(temp) +
                             "Veltrane\\Snapwell\\captureclip0.png\" width=640 height=480>";
    const size_t at = html.find(link);
    ASSERT_NE(at, std::string::npos) << html;
    EXPECT_NE(html.find("J\xc3\xbcrgen \xd0\x96\\"), std::string::npos) << "UTF-8, not the ANSI code page";
    const long endFragment = HeaderNumber(html, "EndFragment"), endHtml = HeaderNumber(html, "EndHTML");
    EXPECT_EQ(HeaderNumber(html, "StartFragment"), 137);
    EXPECT_EQ(endFragment, static_cast<long>(at + link.size() + 6)) << "just after </div>, counted in bytes";
    EXPECT_EQ(html.substr(static_cast<size_t>(endFragment) - 6, 6), "</div>");
    EXPECT_EQ(html.substr(static_cast<size_t>(endHtml) - 7, 8), std::string("</html>") + '\0');
    testfiles::RemoveTree(temp);
}

TEST_F(Clipboard, KeepsTheNewestTenCopiesAndEncodesBeforeTakingTheClipboard) {
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (int n = 0; n < 14; ++n) testfiles::Write(folder + L"captureclip" + std::to_wstring(n) + L".png", "old");
    testfiles::Write(folder + L"captureclip3.jpg", "old");
    testfiles::Write(folder + L"notes.txt", "not ours");
    testfiles::Write(folder + L"captureclipboard.png", "not ours either");

    const std::wstring next = folder + L"captureclip14.png";
    EarlierOwner earlier(next);
    ASSERT_TRUE(CopyCaptureToClipboard(*options, Picture(), owner));
    EXPECT_TRUE(earlier.notified) << "the copy took the clipboard from the window that had it";
    const std::string written = testfiles::Read(next);
    EXPECT_TRUE(!written.empty() && earlier.watchedBytesThen == written)
        << "the copy was complete on disk before the clipboard was opened (" << earlier.watchedBytesThen.size()
        << " of " << written.size() << " bytes then)";
    EXPECT_EQ(unixtools::Identify(next, "%m"), "PNG");
    EXPECT_NE(ClipboardBytes(::RegisterClipboardFormatW(L"HTML Format")).find("captureclip14.png"),
              std::string::npos);
    std::vector<std::wstring> expected;
    for (int n = 5; n <= 14; ++n) expected.push_back(L"captureclip" + std::to_wstring(n) + L".png");
    expected.push_back(L"captureclipboard.png");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ClipCopies(folder), expected) << "the newest ten copies stay, other files too";
    EXPECT_TRUE(platform::FileExists(folder + L"notes.txt"));

    ASSERT_TRUE(CopyCaptureToClipboard(*options, Picture(), owner));
    EXPECT_TRUE(platform::FileExists(folder + L"captureclip15.png"));
    EXPECT_FALSE(platform::FileExists(folder + L"captureclip5.png")) << "the oldest goes when a new one comes";
    EXPECT_EQ(ClipCopies(folder).size(), 11u);
}

namespace {

// What the stand-in pasting program found on the clipboard, read in a
// process of its own (tests/tools/ClipboardReader.cpp).
std::string ReadInAnotherProcess(const std::wstring& reportFolder) {
    const std::wstring report = reportFolder + L"clipboard-report.txt";
    ::DeleteFileW(report.c_str());
    std::wstring command = L"\"" + std::wstring(SNAPWELL_CLIPBOARD_READER) + L"\" \"" + report + L"\"";
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return "<not started>";
    ::CloseHandle(process.hThread);
    // This thread owns the clipboard's owner window: it answers while the
    // other program reads.
    const bool ended = screen::PumpUntil(process.hProcess, 20000);
    ::CloseHandle(process.hProcess);
    if (!ended) return "<did not end>";
    const std::optional<std::string> data = platform::ReadWholeFile(report);
    ::DeleteFileW(report.c_str());
    return data ? *data : "<no report>";
}

// The formats the program put there: Windows adds those it can make from
// the DIB (CF_BITMAP 2, CF_PALETTE 9, CF_DIBV5 17) after them.
std::string PlacedFormats(const std::string& report) {
    const size_t end = report.find('\n');
    std::string formats = report.substr(0, end);
    for (const char* derived : {" 2;", " 9;", " 17;"}) {
        const size_t at = formats.find(derived);
        if (at != std::string::npos) formats.erase(at, std::strlen(derived));
    }
    return formats;
}

std::string ReportLine(const std::string& report, const std::string& name) {
    const size_t at = report.find("\n" + name + ": ");
    if (at == std::string::npos) return "<none>";
    const size_t start = at + name.size() + 3;
    return report.substr(start, report.find('\n', start) - start);
}

// A picture of 600 rows (the writer's bands) with detail in every row.
CCaptureImage DetailedPicture() {
    CCaptureImage image;
    EXPECT_TRUE(image.Create(613, 600, 24, kImageBmp));
    for (long y = 0; y < 600; ++y)
        for (long x = 0; x < 613; ++x) {
            uint8_t* p = image.Row(y) + x * 3;
            p[0] = static_cast<uint8_t>(x * 7 + y);
            p[1] = static_cast<uint8_t>((x ^ y) * 3);
            p[2] = static_cast<uint8_t>(y / 3 + (x % 5) * 40);
        }
    return image;
}

}  // namespace

TEST_F(Clipboard, AnotherProgramPastesThePngAsTheDibsPixels) {
    const std::wstring reports = GetTempFolder(false);
    for (const int bits : {24, 8, 1}) {
        SCOPED_TRACE("bits: " + std::to_string(bits));
        testfiles::RemoveTree(folder);
        CCaptureImage image = DetailedPicture();
        if (bits == 8) {
            ASSERT_TRUE(image.GrayScale());
        } else if (bits == 1) {
            ASSERT_TRUE(image.DecreaseBpp(1, true));
        }
        ASSERT_TRUE(CopyCaptureToClipboard(*options, image, owner));

        const std::string report = ReadInAnotherProcess(reports);
        EXPECT_EQ(PlacedFormats(report), "formats: 8; HTML Format; PNG;") << report;
        EXPECT_EQ(ReportLine(report, "png"), bits == 24  ? "613x600 depth 8 colour 2"
                                             : bits == 8 ? "613x600 depth 8 colour 3"
                                                         : "613x600 depth 1 colour 3");
        EXPECT_EQ(ReportLine(report, "pixels"), "equal");

        // The same bytes as the file writer's, and the HTML's copy (the
        // profile's type is PNG) is those bytes too.
        std::vector<uint8_t> expected;
        ASSERT_TRUE(image.EncodePng(expected));
        const std::string png = ClipboardBytes(::RegisterClipboardFormatW(L"PNG"));
        EXPECT_TRUE(png.substr(0, expected.size()) == std::string(expected.begin(), expected.end()));
        EXPECT_TRUE(testfiles::Read(folder + L"captureclip0.png") == std::string(expected.begin(), expected.end()));
        EXPECT_EQ(ClipCopies(folder), std::vector<std::wstring>{L"captureclip0.png"});
    }
}

TEST_F(Clipboard, PngIsMadeInMemoryAndLeftOutWhenSwitchedOff) {
    // A JPEG profile: the HTML's copy is the only file written. (The user's
    // copy of the options goes first, so that the new defaults are read.)
    testfiles::Remove(userFile);
    LoadOptionsFrom(
        "<ToolOptions><ProgramOptions Name='P'><O Name='MultipleCaptureProfiles' Value='0'/></ProgramOptions>"
        "<Profiles Name='Profiles'><Profile Name='DefaultProfile'><O Name='TargetType' Value='jpg'/>"
        "</Profile></Profiles><HotKeys/></ToolOptions>");
    const CCaptureImage image = DetailedPicture();
    ASSERT_TRUE(CopyCaptureToClipboard(*options, image, owner));
    EXPECT_EQ(testfiles::List(folder), std::vector<std::wstring>{L"captureclip0.jpg"});
    EXPECT_EQ(ReportLine(ReadInAnotherProcess(GetTempFolder(false)), "pixels"), "equal");

    testfiles::Remove(userFile);
    LoadOptionsFrom(
        "<ToolOptions><ProgramOptions Name='P'><O Name='MultipleCaptureProfiles' Value='0'/>"
        "<O Name='ClipboardPng' Value='0'/></ProgramOptions>"
        "<Profiles Name='Profiles'><Profile Name='DefaultProfile'><O Name='TargetType' Value='png'/>"
        "</Profile></Profiles><HotKeys/></ToolOptions>");
    ASSERT_TRUE(CopyCaptureToClipboard(*options, image, owner));
    const std::string report = ReadInAnotherProcess(GetTempFolder(false));
    EXPECT_EQ(PlacedFormats(report), "formats: 8; HTML Format;") << report;
    EXPECT_EQ(ReportLine(report, "png"), "none");
    ASSERT_TRUE(::OpenClipboard(nullptr));
    std::vector<UINT> formats;
    for (UINT format = ::EnumClipboardFormats(0); format != 0; format = ::EnumClipboardFormats(format))
        formats.push_back(format);
    ::CloseClipboard();
    EXPECT_EQ(formats.front(), UINT(CF_DIB));
    EXPECT_EQ(std::count(formats.begin(), formats.end(), ::RegisterClipboardFormatW(L"PNG")), 0);
    EXPECT_EQ(std::count(formats.begin(), formats.end(), ::RegisterClipboardFormatW(L"HTML Format")), 1);
}
