#pragma once
// Each test starts with an empty per-user folder (the real one of this Wine
// prefix) and no default options file beside the test program.
#include "shellutil/StandardFolders.h"
#include "tests/TestFiles.h"

#include <gtest/gtest.h>

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

    std::wstring userFolder, userFile, defaultFile;
};
