// Speed and memory of the image pipeline on a 3840 x 2160 screen-like frame
// (text, flat areas, a photo-like gradient). Every stage is printed as a
// ratio to a plain memcpy of the same 24-bit frame measured in the same run,
// with the extra heap it needed, in frames.
#include "output/CaptureImage.h"
#include "shellutil/StandardFolders.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<size_t> g_current{0}, g_peak{0};

void Track(size_t size, bool add) {
    if (add) {
        const size_t now = g_current += size;
        size_t peak = g_peak.load();
        while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
        }
    } else {
        g_current -= size;
    }
}

}  // namespace

// Counts what the image layer allocates with new; each block carries its size.
void* operator new(size_t size) {
    auto* p = static_cast<size_t*>(std::malloc(size + 16));
    if (p == nullptr) throw std::bad_alloc();
    *p = size;
    Track(size, true);
    return reinterpret_cast<char*>(p) + 16;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    auto* base = reinterpret_cast<size_t*>(static_cast<char*>(p) - 16);
    Track(*base, false);
    std::free(base);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

// libjpeg-turbo's own test of its SIMD paths: 0 in a build without them.
extern "C" int jsimd_can_rgb_ycc(void);
extern "C" int jsimd_can_fdct_islow(void);
extern "C" int jsimd_can_huff_encode_one_block(void);

namespace {

constexpr int kWidth = 3840, kHeight = 2160;

struct Result {
    std::string stage;
    double seconds;
    double extraFrames;
};

double Now() {
    LARGE_INTEGER t, f;
    ::QueryPerformanceCounter(&t);
    ::QueryPerformanceFrequency(&f);
    return double(t.QuadPart) / double(f.QuadPart);
}

// The best of a few runs; prepare runs untimed before each.
Result Measure(const std::string& stage, const std::function<void()>& prepare, const std::function<void()>& run,
               size_t frameBytes, int repeats = 3) {
    double best = 1e30, extra = 0;
    for (int i = 0; i < repeats; ++i) {
        prepare();
        const size_t before = g_current.load();
        g_peak = before;
        const double start = Now();
        run();
        best = std::min(best, Now() - start);
        extra = std::max(extra, double(g_peak.load() - before) / double(frameBytes));
    }
    return {stage, best, extra};
}

// A screen-like frame: window-coloured flat areas, lines of text, and a
// photo-like gradient with noise, in a 32-bit bitmap as a screen grab gives.
HBITMAP MakeScreenFrame() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* px = static_cast<uint32_t*>(bits);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint32_t c = 0xF0F0F0;  // flat window background
            if (x >= 2000 && y >= 300 && y < 1800) {
                seed = seed * 1664525u + 1013904223u;
                const int noise = int(seed >> 28) - 8;
                const int r = std::clamp((x - 2000) * 255 / 1840 + noise, 0, 255);
                const int g = std::clamp((y - 300) * 255 / 1500 + noise, 0, 255);
                const int b = std::clamp(128 + noise * 4, 0, 255);
                c = uint32_t(r << 16 | g << 8 | b);
            } else if (y < 40) {
                c = 0x2B579A;  // title bar
            }
            px[size_t(y) * kWidth + x] = c;
        }
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::SetBkMode(dc, TRANSPARENT);
    const wchar_t line[] = L"The quick brown fox jumps over the lazy dog 0123456789 - Snapwell capture benchmark";
    for (int y = 60; y < 2100; y += 18) ::TextOutW(dc, 20, y, line, int(std::wcslen(line)));
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    return bitmap;
}

// The frame as a binary PPM (top row first, RGB), for the native reference
// encode that scripts/bench.sh runs on the same pixels.
bool WritePpm(const CCaptureImage& image, const std::wstring& path) {
    std::string data = "P6\n" + std::to_string(image.Width()) + " " + std::to_string(image.Height()) + "\n255\n";
    data.reserve(data.size() + size_t(image.Width()) * image.Height() * 3);
    for (long y = image.Height() - 1; y >= 0; --y) {
        const uint8_t* row = image.Row(y);
        for (long x = 0; x < image.Width(); ++x) {
            data.push_back(static_cast<char>(row[x * 3 + 2]));
            data.push_back(static_cast<char>(row[x * 3 + 1]));
            data.push_back(static_cast<char>(row[x * 3]));
        }
    }
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && written;
}

// The folder that scripts/bench.sh names in SNAPWELL_BENCH_DIR (a Linux
// path, reached through Wine's Z: drive), or empty.
std::wstring ExchangeFolder() {
    const char* folder = std::getenv("SNAPWELL_BENCH_DIR");
    if (folder == nullptr || *folder == '\0') return {};
    std::wstring path = L"Z:";
    for (const char* c = folder; *c; ++c) path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    return path + L"\\";
}

}  // namespace

int main() {
    HBITMAP frame = MakeScreenFrame();
    const size_t frameBytes = CCaptureImage::StrideFor(kWidth, 24) * kHeight;
    std::vector<uint8_t> source(frameBytes, 1), target(frameBytes, 0);
    const std::wstring folder = GetTempFolder(false);

    std::vector<Result> results;
    // A stage that makes a new frame pays for touching fresh memory (page
    // faults), so the second baseline copies into a block allocated for it.
    const Result freshCopy = Measure(
        "memcpy into fresh memory", [] {},
        [&] {
            std::unique_ptr<uint8_t[]> fresh(new uint8_t[frameBytes]);
            std::memcpy(fresh.get(), source.data(), frameBytes);
        },
        frameBytes, 5);
    const Result copy = Measure(
        "memcpy of the 24-bit frame", [] {}, [&] { std::memcpy(target.data(), source.data(), frameBytes); },
        frameBytes, 5);

    CCaptureImage image;
    results.push_back(Measure(
        "CreateFromHBITMAP (32-bit screen to 24-bit)", [&] { image = CCaptureImage(); },
        [&] { image.CreateFromHBITMAP(frame); }, frameBytes));
    CCaptureImage work;
    const auto fresh = [&] {
        work = CCaptureImage();
        work.CreateFromHBITMAP(frame);
    };
    results.push_back(Measure("GrayScale (24 to 8)", fresh, [&] { work.GrayScale(); }, frameBytes));
    results.push_back(Measure("DecreaseBpp(1) with diffusion", fresh, [&] { work.DecreaseBpp(1, true); }, frameBytes));
    results.push_back(Measure(
        "IncreaseBpp(24) from 8 bit", [&] { fresh(); work.GrayScale(); }, [&] { work.IncreaseBpp(24); }, frameBytes));
    results.push_back(Measure(
        "CopyToGlobalDIB", [] {}, [&] { ::GlobalFree(image.CopyToGlobalDIB()); }, frameBytes));

    double jpegSeconds = 0;
    const struct {
        const char* name;
        const wchar_t* file;
        uint8_t format;
        int bits;
    } writers[] = {
        {"SaveToFile BMP 24", L"bench.bmp", kImageBmp, 24}, {"SaveToFile JPEG 24", L"bench.jpg", kImageJpg, 24},
        {"SaveToFile PNG 24", L"bench.png", kImagePng, 24}, {"SaveToFile PNG 1", L"bench1.png", kImagePng, 1},
        {"SaveToFile TIFF 24", L"bench.tif", kImageTif, 24}, {"SaveToFile TIFF 8 PackBits", L"bench8.tif", kImageTif, 8},
        {"SaveToFile TIFF 1 Group 4", L"bench1.tif", kImageTif, 1},
    };
    for (const auto& w : writers) {
        CCaptureImage toSave;
        toSave.CreateFromHBITMAP(frame);
        if (w.bits == 8) toSave.GrayScale();
        if (w.bits == 1) toSave.DecreaseBpp(1, true);
        const std::wstring path = folder + w.file;
        // The JPEG writer is compared with a native encode: it gets as many
        // runs as that one.
        const int repeats = w.format == kImageJpg ? 5 : 2;
        results.push_back(Measure(w.name, [] {}, [&] { toSave.SaveToFile(path, w.format); }, frameBytes, repeats));
        ::DeleteFileW(path.c_str());
        if (w.format == kImageJpg) jpegSeconds = results.back().seconds;
    }

    // The PNG writer on its own, as the native reference in scripts/bench.sh
    // is timed: the best of five encodes of the 24-bit frame into memory.
    std::vector<uint8_t> png;
    results.push_back(Measure(
        "EncodePng 24 (in memory, best of 5)", [&] { png = {}; }, [&] { image.EncodePng(png); }, frameBytes, 5));
    const double pngSeconds = png.empty() ? -1.0 : results.back().seconds;
    const size_t pngBytes = png.size();

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));

    std::printf("Snapwell image pipeline, %d x %d, 24-bit frame %.1f MB\n", kWidth, kHeight, frameBytes / 1e6);
    std::printf("memcpy of the frame: %.2f ms warm, %.2f ms into fresh memory\n\n", copy.seconds * 1e3,
                freshCopy.seconds * 1e3);
    std::printf("%-44s %10s %12s %12s %14s\n", "stage", "ms", "x memcpy", "x fresh copy", "extra frames");
    for (const Result& r : results)
        std::printf("%-44s %10.2f %12.1f %12.2f %14.2f\n", r.stage.c_str(), r.seconds * 1e3, r.seconds / copy.seconds,
                    r.seconds / freshCopy.seconds, r.extraFrames);
    std::printf("\npeak working set: %.1f MB (%.1f frames)\n", memory.PeakWorkingSetSize / 1e6,
                double(memory.PeakWorkingSetSize) / double(frameBytes));
    std::printf("libjpeg-turbo SIMD paths: colour conversion %s, forward DCT %s, Huffman coding %s\n",
                jsimd_can_rgb_ycc() ? "yes" : "no", jsimd_can_fdct_islow() ? "yes" : "no",
                jsimd_can_huff_encode_one_block() ? "yes" : "no");
    if (const std::wstring exchange = ExchangeFolder(); !exchange.empty()) {
        const bool written = WritePpm(image, exchange + L"frame.ppm");
        if (FILE* file = _wfopen((exchange + L"jpeg-writer-ms.txt").c_str(), L"w")) {
            std::fprintf(file, "%.3f\n", written ? jpegSeconds * 1e3 : -1.0);
            std::fclose(file);
        }
        if (FILE* file = _wfopen((exchange + L"png-writer.txt").c_str(), L"w")) {
            // milliseconds, bytes, threads
            std::fprintf(file, "%.3f %llu %u\n", written ? pngSeconds * 1e3 : -1.0,
                         static_cast<unsigned long long>(pngBytes), CCaptureImage::PngThreads(image.Height()));
            std::fclose(file);
        }
    }
    ::DeleteObject(frame);
    return 0;
}
