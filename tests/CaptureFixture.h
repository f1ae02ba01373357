#pragma once
// An engine with options that save every capture as a 24-bit BMP into a
// fresh folder, over a desktop with two known windows: red at
// (100, 120)-(400, 320) and blue at (500, 300)-(660, 400).
#include "app/CaptureEngine.h"
#include "options/CaptureOptions.h"
#include "tests/OptionsFixture.h"
#include "tests/ScreenTools.h"
#include "tests/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

inline constexpr char kCaptureTestOptions[] =
    "<ToolOptions><ProgramOptions Name='P'><O Name='MultipleCaptureProfiles' Value='0'/>"
    "<O Name='HideCursor' Value='1'/><O Name='PlaySound' Value='1'/><O Name='.bmp' Value=''/></ProgramOptions>"
    "<Profiles Name='Profiles'><Profile Name='DefaultProfile'>"
    "<O Name='Action' Value='Save to file'/><O Name='ColorDepth' Value='24 bits per pixel Color'/>"
    "<O Name='TargetType' Value='bmp'/><O Name='TargetFolder' Value=''/>"
    "<O Name='FileNameTemplatePrefix' Value='Capture'/><O Name='Annotate' Value='0'/>"
    "</Profile></Profiles><HotKeys/></ToolOptions>";

inline constexpr COLORREF kRed = RGB(200, 30, 60);
inline constexpr COLORREF kBlue = RGB(20, 40, 220);

class CaptureFixture : public OptionsFiles {
protected:
    void SetUp() override {
        OptionsFiles::SetUp();
        LoadOptionsFrom(kCaptureTestOptions);
        shots = FreshDocumentsFolder(L"SnapwellCaptures");
        ASSERT_TRUE(options->SetProfileOption(L"DefaultProfile", L"TargetFolder", shots));
        engine.SetOptions(options.get());
        red = screen::ColourWindow(kRed, 100, 120, 300, 200);
        blue = screen::ColourWindow(kBlue, 500, 300, 160, 100);
        screen::Pump(300);
    }
    void TearDown() override {
        ::DestroyWindow(red);
        ::DestroyWindow(blue);
        testfiles::RemoveTree(shots);
        OptionsFiles::TearDown();
    }
    // The shipped options, one profile saving BMP files into the fixture's
    // folder, and the texts in their language (English).
    void UseShippedOptions() {
        LoadOptionsFrom(testfiles::Read(SNAPWELL_SHIPPED_OPTIONS).c_str());
        options->SetProgramOption(L"MultipleCaptureProfiles", L"0", false);
        options->SetProfileOption(L"DefaultProfile", L"TargetFolder", shots);
        options->SetProfileOption(L"DefaultProfile", L"TargetType", L"0");
        LoadShippedLanguages();
        engine.SetOptions(options.get());
    }
    // The fixture's options with the selection aids on and the magnifier
    // as given.
    void UseSelectionAids(const char* magnifier = "1") {
        std::string xml = kCaptureTestOptions;
        const std::string aids = std::string("<O Name='SelectionAids' Value='1'/><O Name='ShowMagnifier' Value='") +
                                 magnifier + "'/>";
        xml.insert(xml.find("</ProgramOptions>"), aids);
        LoadOptionsFrom(xml.c_str());
        options->SetProfileOption(L"DefaultProfile", L"TargetFolder", shots);
        engine.SetOptions(options.get());
    }
    std::vector<std::wstring> Files() { return testfiles::List(shots); }
    // Waits, reading this thread's messages, until the folder holds at least
    // count files and none of them is still being written. A capture is
    // written under a temporary name (".tmp") and renamed once complete:
    // reading it before then reads a partial picture, and holding it open
    // makes the writer's rename fail.
    bool WaitForCaptures(size_t count, DWORD ms = 10000) {
        for (DWORD waited = 0;; waited += 100) {
            const auto files = Files();
            const bool writing = std::any_of(files.begin(), files.end(), [](const std::wstring& name) {
                return name.size() >= 4 && ::_wcsicmp(name.c_str() + name.size() - 4, L".tmp") == 0;
            });
            if (files.size() >= count && !writing) return true;
            if (waited >= ms) return false;
            screen::Pump(100);
        }
    }
    std::string OnlyFile() {
        const auto files = Files();
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : testfiles::Read(shots + files[0]);
    }
    long Mode() {
        platform::Variant mode;
        options->GetProperty(L"CaptureMode", mode);
        return mode.type() == VT_I4 ? mode.get().lVal : -1;
    }

    CCaptureEngine engine;
    std::wstring shots;
    HWND red = nullptr, blue = nullptr;
};
