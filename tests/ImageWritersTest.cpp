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
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <set>
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

namespace {

// A picture in which each of the five PNG filters is the best for some
// rows: a checkerboard (none), a horizontal ramp over row noise (sub),
// repeated noisy rows (up), a flat colour with fine noise (average) and a
// slanted plane (Paeth), in bands of seven rows, cycling.
CCaptureImage FilterTestPicture(long w, long h) {
    CCaptureImage image;
    EXPECT_TRUE(image.Create(w, h, 24, kImageBmp));
    uint32_t seed = 7;
    const auto random = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 24;
    };
    std::vector<uint8_t> repeated(static_cast<size_t>(w) * 3);
    for (uint8_t& v : repeated) v = static_cast<uint8_t>(random());
    for (long top = 0; top < h; ++top) {
        uint8_t* p = image.Row(h - 1 - top);
        const long kind = (top / 7) % 5;
        const uint32_t rowNoise = random();
        for (long x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                uint8_t& v = p[x * 3 + c];
                switch (kind) {
                    case 0: v = ((x + top) % 2) ? 20 : 0; break;
                    case 1: v = static_cast<uint8_t>(x * 3 + c * 50 + rowNoise); break;
                    case 2: v = repeated[x * 3 + c]; break;
                    case 3: v = static_cast<uint8_t>(100 + c * 40 + random() % 9); break;
                    default: v = static_cast<uint8_t>(x * 2 + top * 3 + c * 30); break;
                }
            }
    }
    return image;
}

struct PngParts {
    std::string idat;          // the IDAT chunks' data joined: the zlib stream
    std::string filtered;      // that stream inflated: the filtered rows
    bool inflated = false;
};

PngParts SplitPng(const std::string& file) {
    PngParts parts;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = uint32_t(uint8_t(file[at])) << 24 | uint32_t(uint8_t(file[at + 1])) << 16 |
                                uint32_t(uint8_t(file[at + 2])) << 8 | uint8_t(file[at + 3]);
        if (file.compare(at + 4, 4, "IDAT") == 0) parts.idat += file.substr(at + 8, length);
        at += 12 + size_t(length);
    }
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return parts;
    std::string out(1 << 20, '\0');
    z.next_in = reinterpret_cast<Bytef*>(parts.idat.data());
    z.avail_in = static_cast<uInt>(parts.idat.size());
    int result = Z_OK;
    while (result == Z_OK) {
        if (z.total_out == out.size()) out.resize(out.size() * 2);
        z.next_out = reinterpret_cast<Bytef*>(out.data()) + z.total_out;
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        result = inflate(&z, Z_NO_FLUSH);
    }
    // Z_STREAM_END only when the Adler-32 at the end matched.
    parts.inflated = result == Z_STREAM_END && z.avail_in == 0;
    out.resize(z.total_out);
    parts.filtered = out;
    inflateEnd(&z);
    return parts;
}

void AppendPng(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

// The same picture written by libpng itself with its defaults, as the
// writer did before it had bands, but for the zlib strategy: the default
// one, which the banded writer uses (libpng's Z_FILTERED changes the
// compressed size, not the filtered rows).
std::string LibpngReference(const CCaptureImage& image) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendPng, nullptr);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    const bool paletted = image.Bpp() <= 8;
    png_set_IHDR(png, info, image.Width(), image.Height(), paletted ? image.Bpp() : 8,
                 paletted ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> colours(256);
    for (unsigned i = 0; i < image.PaletteSize(); ++i)
        colours[i] = {image.Palette()[i].rgbRed, image.Palette()[i].rgbGreen, image.Palette()[i].rgbBlue};
    if (paletted) png_set_PLTE(png, info, colours.data(), static_cast<int>(image.PaletteSize()));
    png_write_info(png, info);
    if (!paletted) png_set_bgr(png);
    for (long y = image.Height() - 1; y >= 0; --y) png_write_row(png, const_cast<png_bytep>(image.Row(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

bool HasFullFlush(const std::string& stream) { return stream.find(std::string("\0\0\xff\xff", 4)) != std::string::npos; }

}  // namespace

TEST_F(ImageFiles, LargePngsAreCompressedInBandsAndReadBackExactly) {
    // Bands need two cores; the machine's count decides how many there are.
    const bool severalCores = std::thread::hardware_concurrency() >= 2;
    EXPECT_EQ(CCaptureImage::PngThreads(511), 1u);
    EXPECT_EQ(CCaptureImage::PngThreads(512), severalCores ? 2u : 1u);
    EXPECT_EQ(CCaptureImage::PngThreads(4000), std::min(15u, std::max(1u, std::thread::hardware_concurrency())));
    for (const long rows : {1L, 511L, 512L, 513L, 4000L}) {
        SCOPED_TRACE("rows: " + std::to_string(rows));
        const long width = rows == 4000 ? 333 : 101;
        const CCaptureImage image = FilterTestPicture(width, rows);
        const std::wstring path = Save(image, (L"rows" + std::to_wstring(rows) + L".png").c_str());
        const std::string file = testfiles::Read(path);

        png_uint_32 w = 0, h = 0;
        ExpectSamePixels(image, ReadPngRgb(path, w, h), 3);
        const std::string check = unixtools::RunShell("pngcheck " + std::string("'") + unixtools::UnixPath(path) + "'");
        EXPECT_EQ(check.rfind("OK: ", 0), 0u) << check;

        // Byte for byte the rows libpng's own filter choice gives, in one
        // zlib stream whose Adler-32 holds.
        const PngParts parts = SplitPng(file);
        const PngParts reference = SplitPng(LibpngReference(image));
        ASSERT_TRUE(parts.inflated);
        ASSERT_TRUE(reference.inflated);
        ASSERT_EQ(parts.filtered.size(), size_t(rows) * (width * 3 + 1));
        EXPECT_TRUE(parts.filtered == reference.filtered) << "the filtered rows differ from libpng's";
        EXPECT_EQ(HasFullFlush(parts.idat), rows >= 512 && severalCores)
            << "a full flush ends every band but the last";
        if (rows == 4000) {
            std::set<int> filters;
            for (long r = 0; r < rows; ++r) filters.insert(uint8_t(parts.filtered[size_t(r) * (width * 3 + 1)]));
            EXPECT_EQ(filters, (std::set<int>{0, 1, 2, 3, 4})) << "every filter is the best somewhere";
            // The bands cost next to nothing against one stream.
            EXPECT_LT(double(parts.idat.size()), reference.idat.size() * 1.02);
        }

        std::vector<uint8_t> memory;
        ASSERT_TRUE(image.EncodePng(memory));
        EXPECT_TRUE(std::string(memory.begin(), memory.end()) == file) << "memory and file get the same bytes";
    }
}

TEST_F(ImageFiles, LargePalettedPngsAreBandedUnfiltered) {
    for (const int bits : {1, 8}) {
        SCOPED_TRACE("bits: " + std::to_string(bits));
        CCaptureImage image = FilterTestPicture(517, 1200);
        ASSERT_TRUE(bits == 1 ? image.DecreaseBpp(1, true) : image.GrayScale());
        const std::wstring path = Save(image, bits == 1 ? L"mono.png" : L"grey.png");
        png_uint_32 w = 0, h = 0;
        ExpectSamePixels(image, ReadPngRgb(path, w, h), 3);
        const std::string check = unixtools::RunShell("pngcheck '" + unixtools::UnixPath(path) + "'");
        EXPECT_EQ(check.rfind("OK: ", 0), 0u) << check;
        const PngParts parts = SplitPng(testfiles::Read(path));
        const PngParts reference = SplitPng(LibpngReference(image));
        ASSERT_TRUE(parts.inflated);
        EXPECT_TRUE(parts.filtered == reference.filtered) << "no filter, as libpng does for palette images";
        EXPECT_EQ(HasFullFlush(parts.idat), std::thread::hardware_concurrency() >= 2);
    }
    std::vector<uint8_t> none{1, 2, 3};
    EXPECT_FALSE(CCaptureImage().EncodePng(none));
    EXPECT_TRUE(none.empty()) << "an empty image has no PNG";
}
