// Every file writer, read back by ImageMagick and by the libraries'
// decoders: size, depth, palette, compression, resolution and pixels.
#include "output/CaptureImage.h"
#include "platform/FileSystem.h"
#include "shellutil/StandardFolders.h"
#include "tests/TestFiles.h"
#include "tests/UnixTools.h"

#include <gtest/gtest.h>

#include <png.h>
#include <tiffio.h>

#include <cstring>
#include <thread>

using unixtools::Identify;

namespace {

// A picture with a colour gradient, a black bar at the top and a white
// square, so that orientation and colour order show in every format.
CCaptureImage TestPicture(long w = 40, long h = 30) {
    CCaptureImage image;
    EXPECT_TRUE(image.Create(w, h, 24, kImageBmp));
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            uint8_t* p = image.Row(y) + x * 3;
            const long top = h - 1 - y;  // picture row
            p[0] = static_cast<uint8_t>(x * 6);       // blue
            p[1] = static_cast<uint8_t>(top * 8);     // green
            p[2] = static_cast<uint8_t>(200);         // red
            if (top < 3) p[0] = p[1] = p[2] = 0;
            if (x >= 30 && top >= 20) p[0] = p[1] = p[2] = 255;
        }
    return image;
}

class ImageFiles : public testing::Test {
protected:
    void SetUp() override {
        folder = GetTempFolder(false) + L"snapwell-writers\\";
        testfiles::RemoveTree(folder);
        ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    void TearDown() override { testfiles::RemoveTree(folder); }
    std::wstring Save(const CCaptureImage& image, const wchar_t* name) {
        const std::wstring path = folder + name;
        EXPECT_TRUE(image.SaveToFile(path, CCaptureImage::FormatFromFileName(path))) << image.LastError().c_str();
        return path;
    }
    std::wstring folder;
};

// Pixels of a PNG file as 8-bit RGB rows from the top, through libpng.
std::vector<uint8_t> ReadPngRgb(const std::wstring& path, png_uint_32& w, png_uint_32& h) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    const std::string data = testfiles::Read(path);
    std::vector<uint8_t> out;
    if (!png_image_begin_read_from_memory(&png, data.data(), data.size())) return out;
    png.format = PNG_FORMAT_RGB;
    out.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, out.data(), 0, nullptr)) out.clear();
    w = png.width;
    h = png.height;
    return out;
}

void ExpectSamePixels(const CCaptureImage& image, const std::vector<uint8_t>& rgb, size_t channels) {
    ASSERT_EQ(rgb.size(), size_t(image.Width() * image.Height()) * channels);
    for (long top = 0; top < image.Height(); ++top)
        for (long x = 0; x < image.Width(); ++x) {
            const RGBQUAD c = image.PixelColor(x, image.Height() - 1 - top);
            const uint8_t* p = &rgb[(top * image.Width() + x) * channels];
            ASSERT_TRUE(p[0] == c.rgbRed && p[1] == c.rgbGreen && p[2] == c.rgbBlue)
                << "pixel " << x << "," << top << " of the picture";
        }
}

}  // namespace

TEST_F(ImageFiles, BmpIsTheFileHeaderAndThePackedBlock) {
    const CCaptureImage image = TestPicture();
    const std::wstring path = Save(image, L"shot.bmp");
    const std::string data = testfiles::Read(path);
    ASSERT_EQ(data.size(), 14 + image.BlockSize());
    EXPECT_EQ(data.substr(0, 2), "BM");
    uint32_t size, offset;
    std::memcpy(&size, data.data() + 2, 4);
    std::memcpy(&offset, data.data() + 10, 4);
    EXPECT_EQ(size, data.size());
    EXPECT_EQ(offset, 54u);
    EXPECT_EQ(std::memcmp(data.data() + 14, image.Block(), image.BlockSize()), 0);
    EXPECT_EQ(Identify(path, "%w %h %z %[type] %[fx:round(resolution.x*100)]"), "40 30 8 TrueColor 2835");

    CCaptureImage mono = TestPicture();
    ASSERT_TRUE(mono.DecreaseBpp(1, true));
    const std::wstring monoPath = Save(mono, L"mono.bmp");
    EXPECT_EQ(testfiles::Read(monoPath).size(), 14u + 40 + 8 + 8 * 30) << "rows of 40 bits padded to 8 bytes";
    std::memcpy(&offset, testfiles::Read(monoPath).data() + 10, 4);
    EXPECT_EQ(offset, 62u);
    EXPECT_EQ(Identify(monoPath, "%w %h %[bit-depth] %k"), "40 30 1 2");
}

TEST_F(ImageFiles, JpegIsBaselineQuality75WithTheResolution) {
    CCaptureImage image = TestPicture();
    const std::wstring path = Save(image, L"shot.jpg");
    EXPECT_EQ(Identify(path, "%w %h %[jpeg:colorspace] %Q %x %y %U %[interlace]"),
              "40 30 2 75 72 72 PixelsPerInch None");

    image.SetXDPI(0);
    image.SetYDPI(0);
    ASSERT_TRUE(image.GrayScale());
    const std::wstring grey = Save(image, L"grey.jpg");
    EXPECT_EQ(Identify(grey, "%[jpeg:colorspace] %[jpeg:sampling-factor]"), "2 2x2,1x1,1x1")
        << "a grey image is written as an RGB JPEG";
}

TEST_F(ImageFiles, PngKeepsDepthPaletteAndPixels) {
    const CCaptureImage image = TestPicture();
    const std::wstring path = Save(image, L"shot.png");
    EXPECT_EQ(Identify(path, "%w %h %[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig] %[fx:round(resolution.x*100)] %U"),
              "40 30 2 8 2835 PixelsPerCentimeter");
    png_uint_32 w = 0, h = 0;
    ExpectSamePixels(image, ReadPngRgb(path, w, h), 3);

    CCaptureImage mono = TestPicture();
    ASSERT_TRUE(mono.DecreaseBpp(1, true));
    const std::wstring monoPath = Save(mono, L"mono.png");
    EXPECT_EQ(Identify(monoPath, "%[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig]"), "3 1")
        << "a 1-bit palette PNG";
    ExpectSamePixels(mono, ReadPngRgb(monoPath, w, h), 3);

    CCaptureImage grey = TestPicture();
    ASSERT_TRUE(grey.GrayScale());
    const std::wstring greyPath = Save(grey, L"grey.png");
    EXPECT_EQ(Identify(greyPath, "%[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig]"), "3 8");
    ExpectSamePixels(grey, ReadPngRgb(greyPath, w, h), 3);
}

TEST_F(ImageFiles, TiffCompressionAndPhotometricFollowTheDepth) {
    const CCaptureImage image = TestPicture();
    const std::wstring rgb = Save(image, L"shot.tif");
    EXPECT_EQ(Identify(rgb, "%w %h %C %[tiff:photometric] %x %U"), "40 30 None RGB 72 PixelsPerInch");

    CCaptureImage mono = TestPicture();
    ASSERT_TRUE(mono.DecreaseBpp(1, true));
    const std::wstring monoPath = Save(mono, L"mono.tif");
    EXPECT_EQ(Identify(monoPath, "%C %[tiff:photometric] %[bit-depth]"), "Group4 min-is-white 1");

    CCaptureImage grey = TestPicture();
    ASSERT_TRUE(grey.GrayScale());
    const std::wstring greyPath = Save(grey, L"grey.tif");
    EXPECT_EQ(Identify(greyPath, "%C %[tiff:photometric] %[bit-depth]"), "RLE min-is-black 8");

    CCaptureImage colour = TestPicture();
    ASSERT_TRUE(colour.DecreaseBpp(8, false));
    const std::wstring palettePath = Save(colour, L"palette.tif");
    EXPECT_EQ(Identify(palettePath, "%C %[tiff:photometric]"), "RLE palette") << "ImageMagick calls PackBits RLE";

    // libtiff reads every one back to the same pixels.
    for (const auto& [path, source] : {std::pair<std::wstring, const CCaptureImage*>{rgb, &image},
                                       {monoPath, &mono}, {greyPath, &grey}, {palettePath, &colour}}) {
        TIFFSetErrorHandler(nullptr);
        TIFF* tif = TIFFOpenW(path.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        uint16_t compression = 0;
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        EXPECT_EQ(compression, source->Bpp() == 1   ? COMPRESSION_CCITTFAX4
                               : source->Bpp() == 8 ? COMPRESSION_PACKBITS
                                                    : COMPRESSION_NONE);
        std::vector<uint32_t> raster(40 * 30);
        ASSERT_TRUE(TIFFReadRGBAImageOriented(tif, 40, 30, raster.data(), ORIENTATION_TOPLEFT, 0));
        TIFFClose(tif);
        std::vector<uint8_t> rgba(raster.size() * 4);
        for (size_t i = 0; i < raster.size(); ++i) {
            rgba[i * 4] = TIFFGetR(raster[i]);
            rgba[i * 4 + 1] = TIFFGetG(raster[i]);
            rgba[i * 4 + 2] = TIFFGetB(raster[i]);
            rgba[i * 4 + 3] = 255;
        }
        ExpectSamePixels(*source, rgba, 4);
    }
}

TEST_F(ImageFiles, MonochromeWithWhiteFirstIsStoredUnflipped) {
    CCaptureImage mono = TestPicture();
    const RGBQUAD whiteFirst[2] = {{255, 255, 255, 0}, {0, 0, 0, 0}};
    ASSERT_TRUE(mono.DecreaseBpp(1, true, whiteFirst));
    const std::wstring path = Save(mono, L"mono.tif");
    EXPECT_EQ(Identify(path, "%[tiff:photometric] %[fx:p{0,0}.r] %[fx:p{35,25}.r]"), "min-is-white 0 1");
}

TEST_F(ImageFiles, FailedSavesWriteNothingAndReportFailure) {
    const CCaptureImage image = TestPicture();
    EXPECT_FALSE(image.SaveToFile(folder + L"missing\\shot.png", kImagePng));
    EXPECT_FALSE(platform::DirectoryExists(folder + L"missing"));
    EXPECT_FALSE(image.SaveToFile(testfiles::UnwritableFolder() + L"shot.png", kImagePng));

    EXPECT_FALSE(image.SaveToFile(folder + L"shot.gif", kImageGif));
    EXPECT_EQ(image.LastError(), L"Unsupported operation for this format");
    EXPECT_TRUE(testfiles::List(folder).empty()) << "no empty or partial file is left";

    // An existing file is replaced only by a complete new one.
    testfiles::Write(folder + L"keep.png", "old");
    EXPECT_FALSE(image.SaveToFile(folder + L"keep.png", kImageGif));
    EXPECT_EQ(testfiles::Read(folder + L"keep.png"), "old");
    EXPECT_TRUE(image.SaveToFile(folder + L"keep.png", kImagePng));
    EXPECT_EQ(Identify(folder + L"keep.png", "%m"), "PNG");
    EXPECT_EQ(testfiles::List(folder), std::vector<std::wstring>{L"keep.png"});

    // A file that another program (a viewer, a virus scanner) holds open for
    // a moment is still replaced once it lets go; one it holds on to is
    // reported, and the old file and the folder stay as they were.
    const std::wstring held = folder + L"keep.png";
    HANDLE reader = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::thread letGo([reader] {
        ::Sleep(200);
        ::CloseHandle(reader);
    });
    EXPECT_TRUE(image.SaveToFile(held, kImageBmp));
    letGo.join();
    EXPECT_EQ(Identify(held, "%m"), "BMP3");
    reader = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(image.SaveToFile(held, kImagePng));
    ::CloseHandle(reader);
    EXPECT_EQ(Identify(held, "%m"), "BMP3");
    EXPECT_EQ(testfiles::List(folder), std::vector<std::wstring>{L"keep.png"});
}
