// Version texts from real version resources and dotted version arithmetic.
#include "platform/FileSystem.h"
#include "uikit/TextCatalog.h"
#include "uikit/VersionInfo.h"

#include <gtest/gtest.h>

#include <cwchar>

TEST(VersionInfo, ShortAndLongFormsOfAVersionResource) {
    // The test program carries version 2.1.7.3.
    const std::wstring self = platform::ModuleFileName();
    EXPECT_EQ(FormatFileVersion(self, true), L"2.1   Build 007");
    EXPECT_EQ(FormatFileVersion(self, false), L"2.1.7.3");

    wchar_t small[5];
    std::wmemset(small, L'#', 5);
    EXPECT_EQ(FormatFileVersion(self, small, 5, false), 7u) << "the length of the whole text";
    EXPECT_STREQ(small, L"2.1.");
}

TEST(VersionInfo, VersionPlaceholderReadsTheProgramFile) {
    EXPECT_EQ(ProgramVersionText(L"uikit_tests"), L"2.1   Build 007");
    EXPECT_EQ(ProgramVersionText(L"NoSuchProgram"), L"");
}

TEST(VersionInfo, FileWithoutVersionLeavesTheBufferAlone) {
    const std::wstring options = platform::FolderOf(platform::ModuleFileName()) + L"no-version.txt";
    wchar_t buffer[8] = L"intact";
    EXPECT_EQ(FormatFileVersion(options, buffer, 8, true), 0u);
    EXPECT_STREQ(buffer, L"intact");
}

TEST(VersionInfo, SystemLibrariesHaveAVersion) {
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_FALSE(FormatFileVersion(std::wstring(system) + L"\\shell32.dll", false).empty());
}

TEST(DottedVersions, ParseHighAndLowHalves) {
    EXPECT_EQ(ParseDottedVersion(L"5.1.2600.17", false), (5u << 16) + 1);
    EXPECT_EQ(ParseDottedVersion(L"5.1.2600.17", true), (2600u << 16) + 17);
    EXPECT_EQ(ParseDottedVersion(L"6", false), 6u << 16);
    EXPECT_EQ(ParseDottedVersion(L"6", true), 0u);
    EXPECT_EQ(ParseDottedVersion(L"6.0b.3x", false), 6u << 16) << "non-digits end a number";
    EXPECT_EQ(ParseDottedVersion(L"", false), 0u);
}

TEST(DottedVersions, CompareIsPositiveWhenTheSecondIsNewer) {
    EXPECT_GT(CompareDottedVersions(L"4.72.3110.0", L"5.0.0.0"), 0);
    EXPECT_LT(CompareDottedVersions(L"6.0.0.0", L"5.0.0.0"), 0);
    EXPECT_EQ(CompareDottedVersions(L"5.0.0.0", L"5.0"), 0);
    EXPECT_GT(CompareDottedVersions(L"5.0.1.0", L"5.0.1.1"), 0) << "low halves decide when the high ones tie";
    EXPECT_LT(CompareDottedVersions(L"5.1.0.0", L"5.0.9999.9999"), 0) << "high halves first";
}
