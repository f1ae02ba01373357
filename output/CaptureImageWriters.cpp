// The file writers of CCaptureImage: BMP by hand, JPEG, PNG and TIFF through
// libjpeg-turbo, libpng and libtiff. Rows are written from the top of the
// picture down, that is from the last stored row.
#include "output/CaptureImage.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace {

// Expands one stored row to 8-bit RGB (or BGR) through the palette.
void ExpandRow(const CCaptureImage& image, long y, uint8_t* out, bool rgb) {
    const long w = image.Width();
    for (long x = 0; x < w; ++x) {
        const RGBQUAD c = image.PixelColor(x, y);
        out[x * 3] = rgb ? c.rgbRed : c.rgbBlue;
        out[x * 3 + 1] = c.rgbGreen;
        out[x * 3 + 2] = rgb ? c.rgbBlue : c.rgbRed;
    }
}

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void JpegQuiet(j_common_ptr, int) {}

void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}
void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    if (std::fwrite(data, 1, length, static_cast<FILE*>(png_get_io_ptr(png))) != length) png_error(png, "write");
}
void PngFlush(png_structp png) { std::fflush(static_cast<FILE*>(png_get_io_ptr(png))); }

}  // namespace

bool CCaptureImage::SaveToFile(const std::wstring& fileName, uint8_t format) const {
    if (!block_) return false;
    if (format != kImageBmp && format != kImageJpg && format != kImagePng && format != kImageTif) {
        SetError(L"Unsupported operation for this format");
        return false;
    }
    const std::wstring temp = platform::CreateTempFileBeside(fileName);
    if (temp.empty()) {
        SetError(L"Unable to create the file");
        return false;
    }
    bool written = false;
    if (format == kImageTif) {
        written = WriteTiff(temp);
    } else if (FILE* file = _wfopen(temp.c_str(), L"wb")) {
        switch (format) {
            case kImageBmp: written = WriteBmp(file); break;
            case kImageJpg: written = WriteJpeg(file); break;
            default: written = WritePng(file); break;
        }
        written = (std::fclose(file) == 0) && written;
    }
    if (!written) {
        ::DeleteFileW(temp.c_str());
        return false;
    }
    if (!platform::MoveFileReplacing(temp, fileName)) {
        SetError(L"Unable to replace the file");
        return false;
    }
    return true;
}

bool CCaptureImage::WriteBmp(FILE* file) const {
    BITMAPFILEHEADER fileHeader{};
    const DWORD paletteBytes = PaletteSize() * sizeof(RGBQUAD);
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + paletteBytes;
    fileHeader.bfSize = fileHeader.bfOffBits + header_.biSizeImage;
    const bool ok = std::fwrite(&fileHeader, sizeof(fileHeader), 1, file) == 1 &&
                    std::fwrite(block_.get(), 1, blockSize_, file) == blockSize_;
    if (!ok) SetError(L"Error saving BMP file");
    return ok;
}

namespace {

// The libjpeg and libpng calls, kept apart from anything with a destructor:
// their errors return here through longjmp.
bool CompressJpeg(FILE* file, const CCaptureImage& image, uint8_t* row, int quality, long xDpi, long yDpi) {
    const long w = image.Width(), h = image.Height();
    const bool direct = image.Bpp() == 24;
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegErrorExit;
    error.manager.emit_message = JpegQuiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = 3;
    // 24-bit rows are blue-green-red already; libjpeg-turbo takes them as they are.
    info.in_color_space = direct ? JCS_EXT_BGR : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.density_unit = 1;
    info.X_density = static_cast<UINT16>(std::max(0L, std::min(xDpi, 65535L)));
    info.Y_density = static_cast<UINT16>(std::max(0L, std::min(yDpi, 65535L)));
    jpeg_start_compress(&info, TRUE);
    for (long y = h - 1; y >= 0; --y) {
        JSAMPROW line;
        if (direct) {
            line = const_cast<JSAMPROW>(image.Row(y));
        } else {
            ExpandRow(image, y, row, true);
            line = row;
        }
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

bool CompressPng(FILE* file, const CCaptureImage& image, png_color* colours) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (png == nullptr) return false;
    png_infop pngInfo = png_create_info_struct(png);
    if (pngInfo == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &pngInfo);
        return false;
    }
    png_set_write_fn(png, file, PngWrite, PngFlush);
    const bool paletted = image.Bpp() <= 8;
    png_set_IHDR(png, pngInfo, static_cast<png_uint_32>(image.Width()), static_cast<png_uint_32>(image.Height()),
                 paletted ? image.Bpp() : 8, paletted ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (paletted) {
        const RGBQUAD* palette = image.Palette();
        for (unsigned i = 0; i < image.PaletteSize(); ++i)
            colours[i] = png_color{palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue};
        png_set_PLTE(png, pngInfo, colours, static_cast<int>(image.PaletteSize()));
    }
    const BITMAPINFOHEADER& header = image.Header();
    if (header.biXPelsPerMeter > 0 && header.biYPelsPerMeter > 0)
        png_set_pHYs(png, pngInfo, static_cast<png_uint_32>(header.biXPelsPerMeter),
                     static_cast<png_uint_32>(header.biYPelsPerMeter), PNG_RESOLUTION_METER);
    png_write_info(png, pngInfo);
    if (!paletted) png_set_bgr(png);
    for (long y = image.Height() - 1; y >= 0; --y) png_write_row(png, const_cast<png_bytep>(image.Row(y)));
    png_write_end(png, pngInfo);
    png_destroy_write_struct(&png, &pngInfo);
    return true;
}

}  // namespace

bool CCaptureImage::WriteJpeg(FILE* file) const {
    std::vector<uint8_t> row(static_cast<size_t>(Width()) * 3);
    const bool ok = CompressJpeg(file, *this, row.data(), jpegQuality_, xDpi_, yDpi_) && std::ferror(file) == 0;
    if (!ok) SetError(L"Error saving JPEG file");
    return ok;
}

bool CCaptureImage::WritePng(FILE* file) const {
    std::vector<png_color> colours(std::max(1u, PaletteSize()));
    const bool ok = CompressPng(file, *this, colours.data()) && std::ferror(file) == 0;
    if (!ok) SetError(L"Error saving PNG file");
    return ok;
}

bool CCaptureImage::WriteTiff(const std::wstring& path) const {
    // libtiff reports through handlers that would print to the console.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpenW(path.c_str(), "w");
    if (tif == nullptr) {
        SetError(L"Error saving TIFF file");
        return false;
    }
    const int bits = Bpp();
    const long w = Width(), h = Height();
    const unsigned entries = PaletteSize();
    bool invert = false;
    uint16_t photometric = PHOTOMETRIC_RGB;
    std::vector<uint16_t> red, green, blue;
    if (bits == 1) {
        // Stored with 0 = white: a palette whose entry 0 is the darker one is
        // flipped, pixels with it.
        photometric = PHOTOMETRIC_MINISWHITE;
        invert = GreyOf(Palette()[0]) < GreyOf(Palette()[1]);
    } else if (bits <= 8) {
        bool greyRamp = true;
        for (unsigned i = 0; i < entries && greyRamp; ++i) {
            const RGBQUAD& c = Palette()[i];
            greyRamp = c.rgbRed == i && c.rgbGreen == i && c.rgbBlue == i;
        }
        if (greyRamp) {
            photometric = PHOTOMETRIC_MINISBLACK;
        } else {
            photometric = PHOTOMETRIC_PALETTE;
            red.resize(entries);
            green.resize(entries);
            blue.resize(entries);
            for (unsigned i = 0; i < entries; ++i) {
                red[i] = static_cast<uint16_t>(Palette()[i].rgbRed * 257);
                green[i] = static_cast<uint16_t>(Palette()[i].rgbGreen * 257);
                blue[i] = static_cast<uint16_t>(Palette()[i].rgbBlue * 257);
            }
        }
    }
    bool ok = TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0) && TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h)) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, bits == 24 ? 3 : 1) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits == 24 ? 8 : bits) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
              TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(xDpi_)) &&
              TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(yDpi_)) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION,
                           bits == 1 ? COMPRESSION_CCITTFAX4 : (bits == 8 ? COMPRESSION_PACKBITS : COMPRESSION_NONE));
    if (ok && photometric == PHOTOMETRIC_PALETTE) {
        // The colour map always has 2^bits entries.
        red.resize(size_t(1) << bits);
        green.resize(size_t(1) << bits);
        blue.resize(size_t(1) << bits);
        ok = TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    ok = ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));

    const size_t rowBytes = (static_cast<size_t>(w) * (bits == 24 ? 24 : bits) + 7) / 8;
    std::vector<uint8_t> line(rowBytes);
    for (long y = h - 1, row = 0; ok && y >= 0; --y, ++row) {
        const uint8_t* src = Row(y);
        if (bits == 24) {
            for (long x = 0; x < w; ++x) {
                line[x * 3] = src[x * 3 + 2];
                line[x * 3 + 1] = src[x * 3 + 1];
                line[x * 3 + 2] = src[x * 3];
            }
        } else if (invert) {
            for (size_t i = 0; i < rowBytes; ++i) line[i] = static_cast<uint8_t>(~src[i]);
        } else {
            std::memcpy(line.data(), src, rowBytes);
        }
        ok = TIFFWriteScanline(tif, line.data(), static_cast<uint32_t>(row), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif);
    TIFFClose(tif);
    if (!ok) SetError(L"Error saving TIFF file");
    return ok;
}
