#pragma once
// Each test starts with an empty per-user folder (the real one of this Wine
// prefix) and no default options file beside the test program.
#include "options/CaptureOptions.h"
#include "shellutil/StandardFolders.h"
#include "tests/TestFiles.h"
#include "uikit/CorvaneApp.h"
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

#include <memory>

class OptionsFiles : public testing::Test {
protected:
    void SetUp() override {
        userFolder = GetUserDataFolder();
        ASSERT_FALSE(userFolder.empty());
        testfiles::RemoveTree(userFolder);
        userFolder = GetUserDataFolder();
        userFile = GetSettingsFilePath(false);
        defaultFile = GetSettingsFilePath(true);
        testfiles::Remove(defaultFile);
    }
    void TearDown() override { testfiles::Remove(defaultFile); }

    // Writes the default file and makes sure it is older than what a test
    // writes to the per-user file afterwards.
    void WriteOlderDefault(const std::string& data) {
        testfiles::Write(defaultFile, data);
        testfiles::SetWriteTime(defaultFile, -3600);
    }

    // Installs xml as the default options file and loads it as the
    // application's options.
    void LoadOptionsFrom(const char* xml) {
        testfiles::Write(defaultFile, xml);
        options = std::make_unique<CaptureOptions>();
    }

    // The texts of the language the options name, from the shipped
    // language files; false when they cannot be loaded.
    bool LoadShippedLanguages() {
        TextCatalog& catalog = CCorvaneApp::Current()->GetTextCatalog();
        catalog.SetLanguageFolder(std::wstring(SNAPWELL_DATA_FOLDER) + L"\\");
        return catalog.LoadLanguages(*options, false);
    }

    // An empty folder of that name in the user's documents.
    static std::wstring FreshDocumentsFolder(const wchar_t* name) {
        testfiles::RemoveTree(GetDocumentsFolder(L"", false) + name);
        return GetDocumentsFolder(name, false);
    }

    std::wstring userFolder, userFile, defaultFile;
    std::unique_ptr<CaptureOptions> options;
};
