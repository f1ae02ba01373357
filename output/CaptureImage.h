#pragma once
// One capture in memory: a packed bottom-up device-independent bitmap
// (BITMAPINFOHEADER, palette, rows) of 1, 4, 8 or 24 bits, with the depth
// conversions, the file writers and the hand-over to the clipboard.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum ImageFormat : uint8_t {
    kImageBmp = 0,
    kImageGif = 1,
    kImageJpg = 2,
    kImagePng = 3,
    kImageTif = 4,
    kImageTga = 5,
    kImagePcx = 6,
    kImageJbg = 7,
    kImageUnknown = 255,
};

class CCaptureImage {
public:
    explicit CCaptureImage(uint8_t format = kImageBmp);
    CCaptureImage(const CCaptureImage&) = delete;
    CCaptureImage& operator=(const CCaptureImage&) = delete;
    CCaptureImage(CCaptureImage&&) noexcept;
    CCaptureImage& operator=(CCaptureImage&&) noexcept;
    ~CCaptureImage();

    // Reads a GDI bitmap through GetDIBits on the screen. A 16- or 32-bit
    // bitmap becomes a 24-bit image. Returns false, leaving the image empty,
    // when the bitmap is null or cannot be read.
    bool CreateFromHBITMAP(HBITMAP bitmap);
    // A new block of that size; bits are rounded up to 1, 4, 8 or 24. The
    // palette is zeroed, the pixels are not. False (and empty) when the
    // block cannot be allocated.
    bool Create(long width, long height, int bits, uint8_t format);

    // Paints the image at (x, y); -1 for the size means the image's own.
    bool Draw(HDC dc, int x, int y, int width = -1, int height = -1) const;

    static uint8_t FormatFromFileName(const std::wstring& fileName);
    // Writes the image in that format. The file is written beside its target
    // and moved into place only when complete, so a failed save leaves no
    // partial file and never damages an existing one.
    bool SaveToFile(const std::wstring& fileName, uint8_t format) const;
    // A movable global block with a copy of the packed bitmap, owned by the
    // caller; null for an empty image.
    HGLOBAL CopyToGlobalDIB() const;
    // The bytes of the PNG file SaveToFile would write, made in memory (for
    // the clipboard). False, with out empty, for an empty image or when the
    // encoder fails ("Error saving PNG file").
    bool EncodePng(std::vector<uint8_t>& out) const;
    // The number of threads the PNG writer compresses a picture of that
    // many rows on: 1 under 512 rows, else one per core with at least 256
    // rows each.
    static unsigned PngThreads(long rows);

    bool GrayScale();
    // Reduces to 1, 4 or 8 bits with the given palette (2, 16 or 256
    // entries) or a default one, optionally with error diffusion.
    bool DecreaseBpp(int bits, bool errorDiffusion, const RGBQUAD* palette = nullptr);
    bool IncreaseBpp(int bits);

    void SetXDPI(long dpi);
    void SetYDPI(long dpi);
    long GetXDPI() const { return xDpi_; }
    long GetYDPI() const { return yDpi_; }

    bool IsEmpty() const { return !block_; }
    long Width() const { return header_.biWidth; }
    long Height() const { return header_.biHeight; }
    int Bpp() const { return header_.biBitCount; }
    size_t Stride() const { return StrideFor(header_.biWidth, header_.biBitCount); }
    unsigned PaletteSize() const { return header_.biClrUsed; }
    const BITMAPINFOHEADER& Header() const { return header_; }
    RGBQUAD* Palette() { return block_ ? reinterpret_cast<RGBQUAD*>(block_.get() + sizeof(BITMAPINFOHEADER)) : nullptr; }
    const RGBQUAD* Palette() const {
        return block_ ? reinterpret_cast<const RGBQUAD*>(block_.get() + sizeof(BITMAPINFOHEADER)) : nullptr;
    }
    // Stored row y (0 = the bottom row of the picture).
    uint8_t* Row(long y) { return Pixels() + static_cast<size_t>(y) * Stride(); }
    const uint8_t* Row(long y) const { return Pixels() + static_cast<size_t>(y) * Stride(); }
    const uint8_t* Block() const { return block_.get(); }
    size_t BlockSize() const { return blockSize_; }
    uint8_t Format() const { return format_; }
    uint8_t JpegQuality() const { return jpegQuality_; }
    const std::wstring& LastError() const { return lastError_; }

    // The colour at stored row y, column x.
    RGBQUAD PixelColor(long x, long y) const;
    // Palette index at stored row y, column x, of a paletted image.
    uint8_t PixelIndex(long x, long y) const;

    // The grey level of a colour: (G x 59 + R x 30 + B x 11) / 100.
    static uint8_t GreyOf(const RGBQUAD& c) {
        return static_cast<uint8_t>((c.rgbGreen * 59 + c.rgbRed * 30 + c.rgbBlue * 11) / 100);
    }

    static size_t StrideFor(long width, int bits) {
        return ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    }

private:
    uint8_t* Pixels() { return block_.get() + sizeof(BITMAPINFOHEADER) + header_.biClrUsed * sizeof(RGBQUAD); }
    const uint8_t* Pixels() const {
        return block_.get() + sizeof(BITMAPINFOHEADER) + header_.biClrUsed * sizeof(RGBQUAD);
    }
    void SyncHeader();
    void CopySettingsFrom(const CCaptureImage& source);
    void Free();
    void SetError(const wchar_t* text) const { lastError_ = text; }

    bool WriteBmp(FILE* file) const;
    bool WriteJpeg(FILE* file) const;
    bool WritePng(FILE* file) const;
    bool WriteTiff(const std::wstring& path) const;

    BITMAPINFOHEADER header_{};
    std::unique_ptr<uint8_t[]> block_;
    size_t blockSize_ = 0;
    uint8_t format_;
    uint8_t jpegQuality_ = 75;
    long xDpi_ = 72, yDpi_ = 72;
    int transparentIndex_ = -1;
    mutable std::wstring lastError_;
};
