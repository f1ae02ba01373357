// Reads the clipboard from a process of its own, as a program pasting a
// capture would, and writes what it found to the file named on its command
// line:
//   formats: <each format in the clipboard's order, by number or name>
//   png: <width>x<height> depth <bit depth> colour <colour type>
//   pixels: equal | <what differs>
// The "PNG" block is decoded with libpng and compared, pixel by pixel, with
// the colours of the CF_DIB block.
#include <windows.h>

#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string FormatName(UINT format) {
    wchar_t name[256] = {};
    if (format >= 0xC000 && ::GetClipboardFormatNameW(format, name, 256) > 0) return Narrow(name);
    return std::to_string(format);
}

std::string Bytes(UINT format) {
    std::string bytes;
    if (HANDLE data = ::GetClipboardData(format)) {
        if (const void* p = ::GlobalLock(data)) {
            bytes.assign(static_cast<const char*>(p), ::GlobalSize(data));
            ::GlobalUnlock(data);
        }
    }
    return bytes;
}

uint32_t BigEndian(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
           uint8_t(b[at + 3]);
}

// The PNG's pixels against the DIB's colours, top row first.
std::string ComparePixels(const std::string& png, const std::string& dib) {
    if (dib.size() < sizeof(BITMAPINFOHEADER)) return "no DIB";
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof(header));
    const long w = header.biWidth, h = header.biHeight;
    const int bits = header.biBitCount;
    const size_t stride = ((size_t(w) * bits + 31) / 32) * 4;
    const size_t paletteBytes = size_t(header.biClrUsed) * 4;
    if (h <= 0 || dib.size() < header.biSize + paletteBytes + stride * size_t(h)) return "a DIB too short";
    const auto* palette = reinterpret_cast<const RGBQUAD*>(dib.data() + header.biSize);
    const auto* pixels = reinterpret_cast<const uint8_t*>(dib.data() + header.biSize + paletteBytes);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return "not a PNG: " + std::string(image.message);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return "unreadable: " + std::string(image.message);
    if (long(image.width) != w || long(image.height) != h) return "sizes differ";
    for (long top = 0; top < h; ++top) {
        const uint8_t* row = pixels + size_t(h - 1 - top) * stride;
        for (long x = 0; x < w; ++x) {
            RGBQUAD c;
            if (bits == 24) {
                c = {row[x * 3], row[x * 3 + 1], row[x * 3 + 2], 0};
            } else {
                const unsigned index = (row[x * bits / 8] >> (8 - bits - (x * bits) % 8)) & ((1u << bits) - 1);
                c = palette[index];
            }
            const uint8_t* p = &rgb[(size_t(top) * w + x) * 3];
            if (p[0] != c.rgbRed || p[1] != c.rgbGreen || p[2] != c.rgbBlue)
                return "differ at " + std::to_string(x) + "," + std::to_string(top);
        }
    }
    return "equal";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    // The program that copied may still hold the clipboard for a moment.
    bool opened = false;
    for (int i = 0; i < 50 && !(opened = ::OpenClipboard(nullptr)); ++i) ::Sleep(20);
    std::string report = "formats:";
    if (!opened) {
        report += " <busy>\n";
    } else {
        for (UINT format = ::EnumClipboardFormats(0); format != 0; format = ::EnumClipboardFormats(format))
            report += " " + FormatName(format) + ";";
        report += "\n";
        const UINT pngFormat = ::RegisterClipboardFormatW(L"PNG");
        const std::string png = ::IsClipboardFormatAvailable(pngFormat) ? Bytes(pngFormat) : std::string();
        const std::string dib = Bytes(CF_DIB);
        ::CloseClipboard();
        if (png.size() >= 33 && png.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 && png.compare(12, 4, "IHDR") == 0) {
            report += "png: " + std::to_string(BigEndian(png, 16)) + "x" + std::to_string(BigEndian(png, 20)) +
                      " depth " + std::to_string(uint8_t(png[24])) + " colour " + std::to_string(uint8_t(png[25])) +
                      "\n";
            report += "pixels: " + ComparePixels(png, dib) + "\n";
        } else {
            report += png.empty() ? "png: none\n" : "png: not a PNG file\n";
        }
    }
    FILE* out = _wfopen(argv[1], L"wb");
    if (out == nullptr) return 1;
    std::fwrite(report.data(), 1, report.size(), out);
    return std::fclose(out) == 0 ? 0 : 1;
}
