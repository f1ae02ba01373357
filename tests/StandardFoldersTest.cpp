// The standard folders through the shell of the Wine prefix, the per-user
// data folder and the writability probe.
#include "platform/FileSystem.h"
#include "shellutil/StandardFolders.h"
#include "tests/TestFiles.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

std::wstring ShellPath(int csidl) {
    wchar_t path[MAX_PATH] = {};
    EXPECT_EQ(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    return platform::WithTrailingBackslash(path);
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TEST(StandardFolders, ShellFoldersWithTrailingBackslash) {
    EXPECT_EQ(GetAppDataFolder(L"", false), ShellPath(CSIDL_APPDATA));
    EXPECT_EQ(GetDocumentsFolder(L"", false), ShellPath(CSIDL_PERSONAL));
    EXPECT_EQ(GetPicturesFolder(L"", false), ShellPath(CSIDL_MYPICTURES)) << "Wine's shell is newer than 5.0";
    const std::wstring temp = GetTempFolder(false);
    EXPECT_TRUE(EndsWith(temp, L"\\"));
    EXPECT_TRUE(platform::DirectoryExists(temp));
    EXPECT_TRUE(EndsWith(platform::GetProgramFolder(), L"\\"));
    EXPECT_TRUE(platform::FileExists(platform::GetProgramFolder() + L"options_tests.exe"));
}

TEST(StandardFolders, SubfolderIsCreatedOneLevelOnly) {
    const std::wstring documents = GetDocumentsFolder(L"", false);
    testfiles::RemoveTree(documents + L"SnapwellTestParent");
    EXPECT_EQ(GetDocumentsFolder(L"SnapwellTestParent\\Child", false), documents)
        << "a missing parent leaves the base folder";
    EXPECT_FALSE(platform::DirectoryExists(documents + L"SnapwellTestParent"));
    EXPECT_EQ(GetDocumentsFolder(L"SnapwellTestParent", false), documents + L"SnapwellTestParent\\");
    EXPECT_EQ(GetDocumentsFolder(L"SnapwellTestParent\\Child", false), documents + L"SnapwellTestParent\\Child\\");
    testfiles::RemoveTree(documents + L"SnapwellTestParent");
}

TEST(StandardFolders, SubfolderBlockedByAFileLeavesTheBaseFolder) {
    const std::wstring pictures = GetPicturesFolder(L"", false);
    testfiles::Write(pictures + L"NotAFolder", "x");
    EXPECT_EQ(GetPicturesFolder(L"NotAFolder", false), pictures);
    testfiles::Remove(pictures + L"NotAFolder");
}

TEST(StandardFolders, UserDataFolderCreatesTheCompanyThenTheApplicationFolder) {
    const std::wstring appData = GetAppDataFolder(L"", false);
    testfiles::RemoveTree(appData + L"Veltrane");
    ASSERT_FALSE(platform::DirectoryExists(appData + L"Veltrane"));
    EXPECT_EQ(GetUserDataFolder(), appData + L"Veltrane\\Snapwell\\");
    EXPECT_TRUE(platform::DirectoryExists(appData + L"Veltrane\\Snapwell"));
    EXPECT_EQ(GetSettingsFilePath(false), appData + L"Veltrane\\Snapwell\\options.xml");
    EXPECT_EQ(GetSettingsFilePath(true), platform::GetProgramFolder() + L"options.xml");
}

TEST(StandardFolders, CheckModeProbesAndLeavesNothingBehind) {
    const std::wstring folder = GetDocumentsFolder(L"SnapwellProbe", false);
    ASSERT_TRUE(EndsWith(folder, L"SnapwellProbe\\"));
    EXPECT_EQ(CheckFolderWritable(folder), L"ok");
    EXPECT_TRUE(testfiles::List(folder).empty());
    EXPECT_EQ(GetDocumentsFolder(L"SnapwellProbe", true), L"ok");
    EXPECT_EQ(GetTempFolder(true), L"ok");
    EXPECT_TRUE(testfiles::List(folder).empty());

    // A file of the user's that carries the probe's name is not touched.
    testfiles::Write(folder + L"testfile.tst", "keep me");
    EXPECT_EQ(CheckFolderWritable(folder), L"ok");
    EXPECT_EQ(testfiles::Read(folder + L"testfile.tst"), "keep me");
    EXPECT_EQ(testfiles::List(folder), std::vector<std::wstring>{L"testfile.tst"});
    testfiles::RemoveTree(folder);
}

TEST(StandardFolders, CheckModeFailsWhereNothingCanBeWritten) {
    EXPECT_EQ(CheckFolderWritable(testfiles::UnwritableFolder()), L"failed");
    EXPECT_EQ(CheckFolderWritable(L"C:\\no such folder\\"), L"failed");
    EXPECT_EQ(CheckFolderWritable(L""), L"failed");
}

TEST(StandardFolders, LegacyPicturesFolderOnlyWhenBothShellLibrariesAreOld) {
    EXPECT_TRUE(UsesLegacyPicturesFolder(L"4.72.3110.0", L"4.71.0.0"));
    EXPECT_FALSE(UsesLegacyPicturesFolder(L"5.0.0.0", L"4.71.0.0"));
    EXPECT_FALSE(UsesLegacyPicturesFolder(L"4.72.0.0", L"6.0.2900.0"));
    EXPECT_FALSE(UsesLegacyPicturesFolder(L"6.0.0.0", L"6.0.0.0"));
    EXPECT_TRUE(UsesLegacyPicturesFolder(L"4.99.65535.65535", L"4.0"));
    EXPECT_FALSE(UsesLegacyPicturesFolder(L"", L"")) << "unreadable versions are not old ones";
}
