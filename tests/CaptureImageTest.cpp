// The captured image: creation from real GDI bitmaps, the depth
// conversions and the global-memory copy.
#include "output/CaptureImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A 32-bit top-down DIB section whose pixel (x, y) is colour(x, y).
template <typename F>
HBITMAP MakeBitmap(int w, int h, F colour) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* px = static_cast<uint32_t*>(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[y * w + x] = colour(x, y);  // 0x00RRGGBB
    return bitmap;
}

CCaptureImage Filled24(long w, long h, BYTE b, BYTE g, BYTE r) {
    CCaptureImage image;
    EXPECT_TRUE(image.Create(w, h, 24, kImageBmp));
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            uint8_t* p = image.Row(y) + x * 3;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return image;
}

bool SameColour(const RGBQUAD& a, BYTE b, BYTE g, BYTE r) {
    return a.rgbBlue == b && a.rgbGreen == g && a.rgbRed == r;
}

// A plain, independent error-diffusion reference on a full grey-level
// array, with the weights 7, 2, 4, 1 over 16 and clamping after each add.
std::vector<int> ReferenceDither(int w, int h, int grey) {
    std::vector<int> value(static_cast<size_t>(w * h * 3), grey), out(static_cast<size_t>(w * h));
    auto add = [&](int x, int y, const int* e, int weight) {
        if (x < 0 || x >= w || y >= h) return;
        for (int k = 0; k < 3; ++k) {
            int& v = value[(y * w + x) * 3 + k];
            v = std::min(255, std::max(0, v + e[k] * weight / 16));
        }
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int* c = &value[(y * w + x) * 3];
            const long black = long(c[0]) * c[0] + long(c[1]) * c[1] + long(c[2]) * c[2];
            const long white = long(255 - c[0]) * (255 - c[0]) + long(255 - c[1]) * (255 - c[1]) +
                               long(255 - c[2]) * (255 - c[2]);
            const int index = white < black ? 1 : 0;
            out[y * w + x] = index;
            const int chosen = index ? 255 : 0;
            const int e[3] = {c[0] - chosen, c[1] - chosen, c[2] - chosen};
            add(x + 1, y, e, 7);
            add(x - 1, y + 1, e, 2);
            add(x, y + 1, e, 4);
            add(x + 1, y + 1, e, 1);
        }
    return out;
}

}  // namespace

TEST(CaptureImageCreation, ThirtyTwoBitBitmapBecomesPaddedTwentyFourBitImage) {
    HBITMAP bitmap = MakeBitmap(3, 2, [](int x, int y) { return uint32_t((x * 40) << 16 | (y * 90) << 8 | 7); });
    CCaptureImage image;
    ASSERT_TRUE(image.CreateFromHBITMAP(bitmap));
    ::DeleteObject(bitmap);
    EXPECT_EQ(image.Bpp(), 24);
    EXPECT_EQ(image.Width(), 3);
    EXPECT_EQ(image.Height(), 2);
    EXPECT_EQ(image.Stride(), 12u) << "9 bytes of pixels padded to 12";
    EXPECT_EQ(image.Header().biSizeImage, 24u);
    EXPECT_EQ(image.Header().biXPelsPerMeter, 2835);
    EXPECT_EQ(image.PaletteSize(), 0u);
    // Stored row 0 is the bottom row of the picture.
    EXPECT_TRUE(SameColour(image.PixelColor(2, 0), 7, 90, 80));
    EXPECT_TRUE(SameColour(image.PixelColor(1, 1), 7, 0, 40));
    EXPECT_EQ(image.BlockSize(), 40u + 24u);
}

TEST(CaptureImageCreation, ScreenBitmapAndNullHandle) {
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 17, 5);
    ::ReleaseDC(nullptr, screen);
    CCaptureImage image;
    EXPECT_TRUE(image.CreateFromHBITMAP(bitmap));
    EXPECT_EQ(image.Bpp(), 24);
    EXPECT_EQ(image.Stride(), 52u);
    ::DeleteObject(bitmap);
    EXPECT_FALSE(image.CreateFromHBITMAP(nullptr));
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_FALSE(image.GrayScale());
    EXPECT_FALSE(image.DecreaseBpp(1, true));
    EXPECT_EQ(image.CopyToGlobalDIB(), nullptr);
    EXPECT_FALSE(image.SaveToFile(L"C:\\never.bmp", kImageBmp));
}

TEST(CaptureImageCreation, ResolutionSetsPixelsPerMetre) {
    CCaptureImage image;
    image.Create(2, 2, 24, kImageBmp);
    image.SetXDPI(0);
    image.SetYDPI(300);
    EXPECT_EQ(image.Header().biXPelsPerMeter, 0);
    EXPECT_EQ(image.Header().biYPelsPerMeter, 11811);
    BITMAPINFOHEADER stored;
    std::memcpy(&stored, image.Block(), sizeof(stored));
    EXPECT_EQ(stored.biYPelsPerMeter, 11811) << "the packed block carries the header too";
}

TEST(CaptureImageFormats, FromFileNameByLastFourCharacters) {
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L"C:\\a\\shot.JPG"), kImageJpg);
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L"shot.jpeg"), kImageUnknown);
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L"shot.tiff"), kImageUnknown);
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L"x.Png"), kImagePng);
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L"x.bmp"), kImageBmp);
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L"x.tif"), kImageTif);
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L"x.gif"), kImageGif);
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L"x.jbg"), kImageJbg);
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L"bmp"), kImageUnknown);
    EXPECT_EQ(CCaptureImage::FormatFromFileName(L""), kImageUnknown);
}

TEST(CaptureImageDepth, GrayScaleWeightsRedGreenBlue) {
    CCaptureImage image;
    ASSERT_TRUE(image.Create(3, 1, 24, kImagePng));
    const BYTE colours[3][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};  // blue-green-red order
    std::memcpy(image.Row(0), colours, 9);
    image.SetXDPI(96);
    ASSERT_TRUE(image.GrayScale());
    EXPECT_EQ(image.Bpp(), 8);
    EXPECT_EQ(image.Format(), kImagePng);
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.PixelIndex(0, 0), 76);
    EXPECT_EQ(image.PixelIndex(1, 0), 150);
    EXPECT_EQ(image.PixelIndex(2, 0), 28);
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(SameColour(image.Palette()[i], BYTE(i), BYTE(i), BYTE(i)));
}

TEST(CaptureImageDepth, GrayScaleOfPalettedImages) {
    CCaptureImage mono = Filled24(9, 2, 255, 255, 255);
    mono.Row(1)[0] = mono.Row(1)[1] = mono.Row(1)[2] = 0;
    ASSERT_TRUE(mono.DecreaseBpp(1, false));
    ASSERT_TRUE(mono.GrayScale());
    EXPECT_EQ(mono.Bpp(), 8) << "1 bit expands to 8";
    EXPECT_EQ(mono.PixelIndex(0, 1), 0);
    EXPECT_EQ(mono.PixelIndex(8, 1), 255);

    CCaptureImage eight = Filled24(4, 1, 0, 0, 255);
    ASSERT_TRUE(eight.DecreaseBpp(8, false));
    ASSERT_TRUE(eight.GrayScale());
    EXPECT_EQ(eight.PixelIndex(3, 0), 76);
    EXPECT_TRUE(SameColour(eight.PixelColor(3, 0), 76, 76, 76));
}

TEST(CaptureImageDepth, MonochromeKeepsASingleBlackPixelExactly) {
    CCaptureImage image = Filled24(13, 7, 255, 255, 255);
    uint8_t* p = image.Row(3) + 5 * 3;
    p[0] = p[1] = p[2] = 0;
    ASSERT_TRUE(image.DecreaseBpp(1, true));
    EXPECT_EQ(image.Bpp(), 1);
    EXPECT_EQ(image.PaletteSize(), 2u);
    EXPECT_TRUE(SameColour(image.Palette()[0], 0, 0, 0));
    EXPECT_TRUE(SameColour(image.Palette()[1], 255, 255, 255));
    for (long y = 0; y < 7; ++y)
        for (long x = 0; x < 13; ++x)
            ASSERT_EQ(image.PixelIndex(x, y), (x == 5 && y == 3) ? 0 : 1) << x << "," << y;
    EXPECT_EQ(image.Stride(), 4u);
}

TEST(CaptureImageDepth, MidGreyDithersWithWeightsSevenTwoFourOne) {
    const int w = 64, h = 48;
    CCaptureImage image = Filled24(w, h, 128, 128, 128);
    ASSERT_TRUE(image.DecreaseBpp(1, true));
    const std::vector<int> expected = ReferenceDither(w, h, 128);
    int white = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ASSERT_EQ(image.PixelIndex(x, y), expected[y * w + x]) << x << "," << y;
            white += image.PixelIndex(x, y);
        }
    // Two sixteenths of every error are dropped, so the share of white
    // stays below the grey level's 128/255.
    const double share = double(white) / (w * h);
    EXPECT_GT(share, 0.35);
    EXPECT_LT(share, 128.0 / 255.0);
}

TEST(CaptureImageDepth, DecreaseWithoutDiffusionAndRules) {
    CCaptureImage image = Filled24(5, 5, 100, 100, 100);
    ASSERT_TRUE(image.DecreaseBpp(1, false));
    for (long x = 0; x < 5; ++x) EXPECT_EQ(image.PixelIndex(x, 2), 0) << "nearest to 100 is black";
    EXPECT_TRUE(image.DecreaseBpp(1, false)) << "already 1 bit";
    EXPECT_FALSE(image.DecreaseBpp(8, false)) << "cannot decrease upward";

    const RGBQUAD two[2] = {{0, 0, 255, 0}, {255, 0, 0, 0}};  // red, blue
    CCaptureImage reddish = Filled24(2, 1, 10, 10, 200);
    ASSERT_TRUE(reddish.DecreaseBpp(1, false, two));
    EXPECT_EQ(reddish.PixelIndex(0, 0), 0);
    EXPECT_TRUE(SameColour(reddish.PixelColor(1, 0), 0, 0, 255));
}

TEST(CaptureImageDepth, IncreaseKeepsColoursAndRejectsSixteen) {
    CCaptureImage image = Filled24(6, 3, 0, 0, 255);
    EXPECT_TRUE(image.IncreaseBpp(24)) << "24 on 24 changes nothing";
    EXPECT_EQ(image.Bpp(), 24);
    ASSERT_TRUE(image.DecreaseBpp(8, false));
    EXPECT_FALSE(image.IncreaseBpp(16));
    EXPECT_EQ(image.Bpp(), 8);
    EXPECT_FALSE(image.IncreaseBpp(4)) << "deeper than asked";
    ASSERT_TRUE(image.IncreaseBpp(24));
    EXPECT_EQ(image.Bpp(), 24);
    EXPECT_TRUE(SameColour(image.PixelColor(5, 2), 0, 0, 255));

    CCaptureImage mono = Filled24(10, 1, 255, 255, 255);
    mono.Row(0)[0] = mono.Row(0)[1] = mono.Row(0)[2] = 0;
    ASSERT_TRUE(mono.DecreaseBpp(1, false));
    ASSERT_TRUE(mono.IncreaseBpp(4));
    EXPECT_EQ(mono.PaletteSize(), 16u);
    EXPECT_EQ(mono.PixelIndex(0, 0), 0);
    EXPECT_EQ(mono.PixelIndex(9, 0), 1);
    EXPECT_TRUE(SameColour(mono.PixelColor(9, 0), 255, 255, 255));
}

TEST(CaptureImageExport, GlobalDibIsAnExactCopyOfThePackedBlock) {
    CCaptureImage image = Filled24(7, 3, 1, 2, 3);
    ASSERT_TRUE(image.GrayScale());
    HGLOBAL memory = image.CopyToGlobalDIB();
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(::GlobalSize(memory), image.BlockSize());
    const void* data = ::GlobalLock(memory);
    EXPECT_EQ(std::memcmp(data, image.Block(), image.BlockSize()), 0);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(data);
    EXPECT_EQ(header->biBitCount, 8);
    EXPECT_EQ(header->biClrUsed, 256u);
    ::GlobalUnlock(memory);
    ::GlobalFree(memory);
}

TEST(CaptureImageDraw, PaintsIntoAMemoryDevice) {
    CCaptureImage image = Filled24(8, 8, 10, 20, 30);
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP target = ::CreateCompatibleBitmap(screen, 20, 20);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, target);
    ::PatBlt(dc, 0, 0, 20, 20, WHITENESS);
    EXPECT_TRUE(image.Draw(dc, 4, 4));
    EXPECT_EQ(::GetPixel(dc, 4, 4), RGB(30, 20, 10));
    EXPECT_EQ(::GetPixel(dc, 11, 11), RGB(30, 20, 10));
    EXPECT_EQ(::GetPixel(dc, 12, 12), RGB(255, 255, 255));
    EXPECT_TRUE(image.Draw(dc, 0, 0, 16, 16)) << "stretched";
    EXPECT_EQ(::GetPixel(dc, 15, 15), RGB(30, 20, 10));
    ::SelectObject(dc, old);
    ::DeleteObject(target);
    ::DeleteDC(dc);
}
