#include "output/CaptureImage.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr size_t kMaxBlockBytes = size_t(1) << 30;

int NormalisedBits(int bits) {
    if (bits <= 1) return 1;
    if (bits <= 4) return 4;
    if (bits <= 8) return 8;
    return 24;
}

unsigned PaletteEntriesFor(int bits) { return bits <= 8 ? 1u << bits : 0u; }

long PixelsPerMetre(long dpi) { return static_cast<long>(std::floor(dpi * 39.37007874015748 + 0.5)); }

inline uint8_t GetIndex(const uint8_t* row, long x, int bits) {
    switch (bits) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        default: return row[x];
    }
}

inline void SetIndex(uint8_t* row, long x, int bits, uint8_t index) {
    switch (bits) {
        case 1: {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
            row[x >> 3] = index ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask);
            break;
        }
        case 4:
            row[x >> 1] = (x & 1) ? ((row[x >> 1] & 0xF0) | (index & 0x0F))
                                  : static_cast<uint8_t>((row[x >> 1] & 0x0F) | (index << 4));
            break;
        default: row[x] = index;
    }
}

void GreyRamp(RGBQUAD* palette) {
    for (int i = 0; i < 256; ++i)
        palette[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
}

// The palette the image layer uses when none is given.
void StandardPalette(int bits, RGBQUAD* palette) {
    if (bits == 1) {
        palette[0] = RGBQUAD{0, 0, 0, 0};
        palette[1] = RGBQUAD{255, 255, 255, 0};
    } else if (bits == 4) {
        static const BYTE vga[16][3] = {{0, 0, 0},     {0, 0, 128},   {0, 128, 0},   {0, 128, 128},
                                        {128, 0, 0},   {128, 0, 128}, {128, 128, 0}, {192, 192, 192},
                                        {128, 128, 128}, {0, 0, 255}, {0, 255, 0},   {0, 255, 255},
                                        {255, 0, 0},   {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};
        for (int i = 0; i < 16; ++i) palette[i] = RGBQUAD{vga[i][2], vga[i][1], vga[i][0], 0};
    } else {
        // A 6 x 6 x 6 colour cube followed by 40 greys.
        int i = 0;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    palette[i++] = RGBQUAD{static_cast<BYTE>(b * 51), static_cast<BYTE>(g * 51),
                                           static_cast<BYTE>(r * 51), 0};
        for (int k = 0; i < 256; ++i, ++k) {
            const BYTE v = static_cast<BYTE>(k * 255 / 39);
            palette[i] = RGBQUAD{v, v, v, 0};
        }
    }
}

// The entry nearest to (r, g, b): smallest squared distance, first on ties,
// an exact match at once.
uint8_t NearestEntry(const RGBQUAD* palette, unsigned entries, int r, int g, int b) {
    unsigned best = 0;
    long bestDistance = 0x7FFFFFFF;
    for (unsigned i = 0; i < entries; ++i) {
        const long dr = r - palette[i].rgbRed, dg = g - palette[i].rgbGreen, db = b - palette[i].rgbBlue;
        const long distance = dr * dr + dg * dg + db * db;
        if (distance == 0) return static_cast<uint8_t>(i);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

inline uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

}  // namespace

CCaptureImage::CCaptureImage(uint8_t format) : format_(format) { header_.biSize = sizeof(BITMAPINFOHEADER); }

CCaptureImage::CCaptureImage(CCaptureImage&& other) noexcept { *this = std::move(other); }

CCaptureImage& CCaptureImage::operator=(CCaptureImage&& other) noexcept {
    if (this != &other) {
        header_ = other.header_;
        block_ = std::move(other.block_);
        blockSize_ = std::exchange(other.blockSize_, 0);
        format_ = other.format_;
        jpegQuality_ = other.jpegQuality_;
        xDpi_ = other.xDpi_;
        yDpi_ = other.yDpi_;
        transparentIndex_ = other.transparentIndex_;
        lastError_ = std::move(other.lastError_);
        other.header_ = BITMAPINFOHEADER{};
        other.header_.biSize = sizeof(BITMAPINFOHEADER);
    }
    return *this;
}

CCaptureImage::~CCaptureImage() = default;

void CCaptureImage::Free() {
    block_.reset();
    blockSize_ = 0;
    const BITMAPINFOHEADER empty{};
    header_ = empty;
    header_.biSize = sizeof(BITMAPINFOHEADER);
}

void CCaptureImage::SyncHeader() {
    if (block_) std::memcpy(block_.get(), &header_, sizeof(header_));
}

void CCaptureImage::CopySettingsFrom(const CCaptureImage& source) {
    jpegQuality_ = source.jpegQuality_;
    transparentIndex_ = source.transparentIndex_;
    SetXDPI(source.xDpi_);
    SetYDPI(source.yDpi_);
}

bool CCaptureImage::Create(long width, long height, int bits, uint8_t format) {
    Free();
    format_ = format;
    if (width <= 0 || height <= 0) return false;
    bits = NormalisedBits(bits);
    const size_t stride = StrideFor(width, bits);
    const unsigned entries = PaletteEntriesFor(bits);
    if (stride > kMaxBlockBytes / static_cast<size_t>(height)) return false;
    const size_t imageSize = stride * static_cast<size_t>(height);
    const size_t total = sizeof(BITMAPINFOHEADER) + entries * sizeof(RGBQUAD) + imageSize;
    if (total > kMaxBlockBytes) return false;

    block_.reset(new (std::nothrow) uint8_t[total]);
    if (!block_) return false;
    blockSize_ = total;
    header_.biSize = sizeof(BITMAPINFOHEADER);
    header_.biWidth = width;
    header_.biHeight = height;
    header_.biPlanes = 1;
    header_.biBitCount = static_cast<WORD>(bits);
    header_.biCompression = BI_RGB;
    header_.biSizeImage = static_cast<DWORD>(imageSize);
    header_.biXPelsPerMeter = PixelsPerMetre(xDpi_);
    header_.biYPelsPerMeter = PixelsPerMetre(yDpi_);
    header_.biClrUsed = entries;
    header_.biClrImportant = 0;
    SyncHeader();
    if (entries) std::memset(Palette(), 0, entries * sizeof(RGBQUAD));
    return true;
}

bool CCaptureImage::CreateFromHBITMAP(HBITMAP bitmap) {
    Free();
    if (bitmap == nullptr) return false;
    BITMAP info{};
    if (::GetObjectW(bitmap, sizeof(info), &info) == 0) {
        SetError(L"GetObject failed");
        return false;
    }
    if (!Create(info.bmWidth, std::abs(info.bmHeight), info.bmPlanes * info.bmBitsPixel, format_)) return false;
    HDC screen = ::GetDC(nullptr);
    const int rows = ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(Height()), Pixels(),
                                 reinterpret_cast<BITMAPINFO*>(block_.get()), DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (rows == 0) {
        // Pixels that could not be read are not an image: nothing is kept.
        SetError(L"GetDIBits failed");
        Free();
        return false;
    }
    // GetDIBits may rewrite parts of the header (size, colours used).
    SyncHeader();
    return true;
}

bool CCaptureImage::Draw(HDC dc, int x, int y, int width, int height) const {
    if (!block_ || dc == nullptr) return false;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(block_.get());
    if (width < 0) width = Width();
    if (height < 0) height = Height();
    if (width != Width() || height != Height()) {
        return ::StretchDIBits(dc, x, y, width, height, 0, 0, Width(), Height(), Pixels(), info, DIB_RGB_COLORS,
                               SRCCOPY) != static_cast<int>(GDI_ERROR);
    }
    // At its own size only the part inside the clip box is transferred.
    RECT clip{x, y, x + width, y + height};
    RECT box;
    if (::GetClipBox(dc, &box) != ERROR && !::IntersectRect(&clip, &clip, &box)) return true;
    const int w = clip.right - clip.left, h = clip.bottom - clip.top;
    if (w <= 0 || h <= 0) return true;
    const int sourceX = clip.left - x;
    const int sourceY = Height() - (clip.bottom - y);  // bottom-up: counted from the bottom row
    return ::SetDIBitsToDevice(dc, clip.left, clip.top, w, h, sourceX, sourceY, 0, Height(), Pixels(), info,
                               DIB_RGB_COLORS) != 0;
}

void CCaptureImage::SetXDPI(long dpi) {
    xDpi_ = dpi;
    header_.biXPelsPerMeter = PixelsPerMetre(dpi);
    SyncHeader();
}

void CCaptureImage::SetYDPI(long dpi) {
    yDpi_ = dpi;
    header_.biYPelsPerMeter = PixelsPerMetre(dpi);
    SyncHeader();
}

uint8_t CCaptureImage::FormatFromFileName(const std::wstring& fileName) {
    if (fileName.size() < 4) return kImageUnknown;
    std::wstring suffix = fileName.substr(fileName.size() - 4);
    for (wchar_t& c : suffix) c = static_cast<wchar_t>(std::towlower(c));
    static const wchar_t* const suffixes[] = {L".bmp", L".jpg", L".gif", L".png",
                                              L".tif", L".tga", L".pcx", L".jbg"};
    static const uint8_t codes[] = {kImageBmp, kImageJpg, kImageGif, kImagePng,
                                    kImageTif, kImageTga, kImagePcx, kImageJbg};
    for (size_t i = 0; i < 8; ++i)
        if (suffix == suffixes[i]) return codes[i];
    return kImageUnknown;
}

RGBQUAD CCaptureImage::PixelColor(long x, long y) const {
    const uint8_t* row = Row(y);
    if (Bpp() == 24) return RGBQUAD{row[x * 3], row[x * 3 + 1], row[x * 3 + 2], 0};
    return Palette()[GetIndex(row, x, Bpp())];
}

uint8_t CCaptureImage::PixelIndex(long x, long y) const { return GetIndex(Row(y), x, Bpp()); }

HGLOBAL CCaptureImage::CopyToGlobalDIB() const {
    if (!block_) return nullptr;
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, blockSize_);
    if (memory == nullptr) return nullptr;
    void* target = ::GlobalLock(memory);
    if (target == nullptr) {
        ::GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(target, block_.get(), blockSize_);
    ::GlobalUnlock(memory);
    return memory;
}

bool CCaptureImage::GrayScale() {
    if (!block_) return false;
    const long w = Width(), h = Height();
    if (Bpp() > 8) {
        CCaptureImage grey(format_);
        grey.CopySettingsFrom(*this);
        if (!grey.Create(w, h, 8, format_)) return false;
        GreyRamp(grey.Palette());
        for (long y = 0; y < h; ++y) {
            const uint8_t* src = Row(y);
            uint8_t* dst = grey.Row(y);
            for (long x = 0; x < w; ++x, src += 3)
                dst[x] = static_cast<uint8_t>((src[1] * 59 + src[0] * 11 + src[2] * 30) / 100);
        }
        *this = std::move(grey);
        return true;
    }
    uint8_t greyOfEntry[256] = {};
    for (unsigned i = 0; i < PaletteSize(); ++i) greyOfEntry[i] = GreyOf(Palette()[i]);
    if (Bpp() == 8) {
        for (long y = 0; y < h; ++y) {
            uint8_t* row = Row(y);
            for (long x = 0; x < w; ++x) row[x] = greyOfEntry[row[x]];
        }
        GreyRamp(Palette());
        return true;
    }
    CCaptureImage grey(format_);
    grey.CopySettingsFrom(*this);
    if (!grey.Create(w, h, 8, format_)) return false;
    GreyRamp(grey.Palette());
    const int bits = Bpp();
    for (long y = 0; y < h; ++y) {
        const uint8_t* src = Row(y);
        uint8_t* dst = grey.Row(y);
        for (long x = 0; x < w; ++x) dst[x] = greyOfEntry[GetIndex(src, x, bits)];
    }
    *this = std::move(grey);
    return true;
}

bool CCaptureImage::DecreaseBpp(int bits, bool errorDiffusion, const RGBQUAD* palette) {
    if (!block_ || Bpp() < bits) return false;
    if (Bpp() == bits) return true;
    if (bits != 1 && bits != 4 && bits != 8) return false;

    const long w = Width(), h = Height();
    CCaptureImage reduced(format_);
    reduced.CopySettingsFrom(*this);
    if (!reduced.Create(w, h, bits, format_)) return false;
    const unsigned entries = PaletteEntriesFor(bits);
    RGBQUAD* target = reduced.Palette();
    if (palette != nullptr)
        std::memcpy(target, palette, entries * sizeof(RGBQUAD));
    else
        StandardPalette(bits, target);

    // The colours of the row being reduced and of the next one, with the
    // error terms added (each channel clamped after every addition). Two rows
    // are all that the diffusion ever reaches.
    std::vector<uint8_t> current(static_cast<size_t>(w) * 3), next(static_cast<size_t>(w) * 3);
    const auto load = [&](long y, std::vector<uint8_t>& out) {
        if (y >= h) return;
        const uint8_t* src = Row(y);
        if (Bpp() == 24) {
            std::memcpy(out.data(), src, out.size());
            return;
        }
        for (long x = 0; x < w; ++x) {
            const RGBQUAD c = Palette()[GetIndex(src, x, Bpp())];
            out[x * 3] = c.rgbBlue;
            out[x * 3 + 1] = c.rgbGreen;
            out[x * 3 + 2] = c.rgbRed;
        }
    };
    const auto spread = [](uint8_t* pixel, const int* error, int weight) {
        for (int k = 0; k < 3; ++k) pixel[k] = Clamp(pixel[k] + error[k] * weight / 16);
    };

    load(0, current);
    load(1, next);
    for (long y = 0; y < h; ++y) {
        uint8_t* dst = reduced.Row(y);
        std::memset(dst, 0, reduced.Stride());
        const bool hasNext = y + 1 < h;
        int lastB = -1, lastG = -1, lastR = -1;
        uint8_t lastIndex = 0;
        for (long x = 0; x < w; ++x) {
            uint8_t* c = &current[x * 3];
            uint8_t index;
            if (c[0] == lastB && c[1] == lastG && c[2] == lastR) {
                index = lastIndex;
            } else {
                index = NearestEntry(target, entries, c[2], c[1], c[0]);
                lastB = c[0];
                lastG = c[1];
                lastR = c[2];
                lastIndex = index;
            }
            SetIndex(dst, x, bits, index);
            if (!errorDiffusion) continue;
            const RGBQUAD& chosen = target[index];
            const int error[3] = {c[0] - chosen.rgbBlue, c[1] - chosen.rgbGreen, c[2] - chosen.rgbRed};
            if (error[0] == 0 && error[1] == 0 && error[2] == 0) continue;
            if (x + 1 < w) spread(&current[(x + 1) * 3], error, 7);
            if (hasNext) {
                if (x > 0) spread(&next[(x - 1) * 3], error, 2);
                spread(&next[x * 3], error, 4);
                if (x + 1 < w) spread(&next[(x + 1) * 3], error, 1);
            }
        }
        std::swap(current, next);
        load(y + 2, next);
    }
    *this = std::move(reduced);
    return true;
}

bool CCaptureImage::IncreaseBpp(int bits) {
    if (bits != 4 && bits != 8 && bits != 24) return false;
    if (!block_ || Bpp() > bits) return false;
    if (Bpp() == bits) return true;

    const long w = Width(), h = Height();
    CCaptureImage raised(format_);
    raised.CopySettingsFrom(*this);
    if (!raised.Create(w, h, bits, format_)) return false;
    const int sourceBits = Bpp();
    if (bits <= 8) std::memcpy(raised.Palette(), Palette(), PaletteSize() * sizeof(RGBQUAD));
    for (long y = 0; y < h; ++y) {
        const uint8_t* src = Row(y);
        uint8_t* dst = raised.Row(y);
        if (bits == 24) {
            const RGBQUAD* palette = Palette();
            for (long x = 0; x < w; ++x, dst += 3) {
                const RGBQUAD& c = palette[GetIndex(src, x, sourceBits)];
                dst[0] = c.rgbBlue;
                dst[1] = c.rgbGreen;
                dst[2] = c.rgbRed;
            }
        } else {
            std::memset(dst, 0, raised.Stride());
            for (long x = 0; x < w; ++x) SetIndex(dst, x, bits, GetIndex(src, x, sourceBits));
        }
    }
    *this = std::move(raised);
    return true;
}
