// The overlays' cursors and the shutter sound as the program ships them.
#include "resources/resource.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <cstring>

TEST(CaptureResources, CursorsLoadWithTheirHotSpots) {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    struct Expected {
        int id;
        DWORD x, y;
    };
    for (Expected e : {Expected{IDC_REGION_WAIT, 15, 15}, Expected{IDC_REGION_DRAG, 15, 15},
                       Expected{IDC_WINDOW_PICK, 0, 0}, Expected{IDC_RESIZE_PICK, 0, 0}}) {
        HCURSOR cursor = ::LoadCursorW(module, MAKEINTRESOURCEW(e.id));
        ASSERT_NE(cursor, nullptr) << e.id;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(cursor, &info)) << e.id;
        EXPECT_FALSE(info.fIcon);
        EXPECT_EQ(info.xHotspot, e.x) << e.id;
        EXPECT_EQ(info.yHotspot, e.y) << e.id;
        BITMAP mask{};
        ::GetObjectW(info.hbmMask, sizeof(mask), &mask);
        EXPECT_EQ(mask.bmWidth, 32);
        if (info.hbmMask) ::DeleteObject(info.hbmMask);
        if (info.hbmColor) ::DeleteObject(info.hbmColor);
    }
}

TEST(CaptureResources, ShutterSoundIsAShortPcmWave) {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, L"TAKE_PHOTO_WAV", L"WAVE");
    ASSERT_NE(found, nullptr);
    const DWORD size = ::SizeofResource(module, found);
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    ASSERT_GT(size, 44u);
    EXPECT_EQ(std::memcmp(data, "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(data + 8, "WAVEfmt ", 8), 0);
    WAVEFORMATEX format{};
    std::memcpy(&format, data + 20, 16);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, 1);
    const double seconds = double(size - 44) / format.nAvgBytesPerSec;
    EXPECT_GT(seconds, 0.1);
    EXPECT_LT(seconds, 0.5) << "a shutter, not a tune";
}
