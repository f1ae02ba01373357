// The file writers of CCaptureImage: BMP by hand, JPEG, PNG and TIFF through
// libjpeg-turbo, libpng and libtiff. Rows are written from the top of the
// picture down, that is from the last stored row. A PNG of 512 rows or more
// is filtered as libpng would and compressed in bands on every core, then
// joined into one zlib stream that libpng writes as IDAT chunks.
#include "output/CaptureImage.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <emmintrin.h>

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

// Where the PNG writer's bytes go: a file, or memory for the clipboard.
class PngSink {
public:
    virtual ~PngSink() = default;
    virtual bool Write(const uint8_t* data, size_t size) noexcept = 0;
    virtual void Flush() noexcept {}
    // About how many bytes are coming.
    virtual void Expect(size_t) noexcept {}
};

class FileSink final : public PngSink {
public:
    explicit FileSink(FILE* file) : file_(file) {}
    bool Write(const uint8_t* data, size_t size) noexcept override {
        return std::fwrite(data, 1, size, file_) == size;
    }
    void Flush() noexcept override { std::fflush(file_); }

private:
    FILE* file_;
};

class MemorySink final : public PngSink {
public:
    explicit MemorySink(std::vector<uint8_t>& out) : out_(out) {}
    void Expect(size_t size) noexcept override {
        try {
            out_.reserve(size);
        } catch (...) {
        }
    }
    bool Write(const uint8_t* data, size_t size) noexcept override {
        try {
            out_.insert(out_.end(), data, data + size);
            return true;
        } catch (...) {
            return false;
        }
    }

private:
    std::vector<uint8_t>& out_;
};

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    if (!static_cast<PngSink*>(png_get_io_ptr(png))->Write(data, length)) png_error(png, "write");
}
void PngFlush(png_structp png) { static_cast<PngSink*>(png_get_io_ptr(png))->Flush(); }

// Pictures of this many rows or more are compressed in bands, one thread per
// band; smaller ones gain too little for the threads' start.
constexpr long kBandedPngRows = 512;
constexpr long kMinRowsPerBand = 256;
// The deflate window: each band's compressor is primed with the filtered
// bytes just before the band, so that it still finds the matches across
// the band's start that one stream would.
constexpr size_t kDeflateWindow = 32768;
constexpr size_t kIdatChunkBytes = 65536;
constexpr int kZlibLevel = 6;

// How the rows of a picture are filtered, as libpng 1.6 does by default:
// every filter for 8-bit RGB (width 1 leaves none and up), none at all for
// palette images.
struct RowFilter {
    size_t rowBytes;      // without the filter type byte
    size_t pixelBytes;    // the distance of the "left" byte
    unsigned filters;     // PNG_FILTER_* bits
};

RowFilter FilterFor(const CCaptureImage& image) {
    const size_t w = static_cast<size_t>(image.Width());
    if (image.Bpp() == 24)
        return {w * 3, 3, w == 1 ? unsigned(PNG_FILTER_NONE | PNG_FILTER_UP) : unsigned(PNG_ALL_FILTERS)};
    return {(w * static_cast<size_t>(image.Bpp()) + 7) / 8, 1, PNG_FILTER_NONE};
}

// Picture row `top` (0 = the top row) as PNG stores it: red-green-blue for a
// 24-bit picture, the packed palette indices otherwise.
void PngRow(const CCaptureImage& image, long top, size_t rowBytes, uint8_t* out) {
    const uint8_t* src = image.Row(image.Height() - 1 - top);
    if (image.Bpp() != 24) {
        std::memcpy(out, src, rowBytes);
        return;
    }
    for (size_t i = 0; i < rowBytes; i += 3) {
        out[i] = src[i + 2];
        out[i + 1] = src[i + 1];
        out[i + 2] = src[i];
    }
}

// libpng's measure of a filtered byte: its distance from zero, taken as signed.
inline size_t FilterCost(uint8_t v) { return v < 128 ? v : 256u - v; }

inline uint8_t PaethPredictor(int a, int b, int c) {
    const int p = b - c, q = a - c;
    const int pa = p < 0 ? -p : p, pb = q < 0 ? -q : q, pc = (p + q) < 0 ? -(p + q) : p + q;
    return static_cast<uint8_t>((pa <= pb && pa <= pc) ? a : (pb <= pc) ? b : c);
}

// The filtered byte of each filter type for a byte x with the byte a to its
// left, b above and c above-left.
inline uint8_t Filtered(int type, uint8_t x, uint8_t a, uint8_t b, uint8_t c) {
    switch (type) {
        case PNG_FILTER_VALUE_SUB: return uint8_t(x - a);
        case PNG_FILTER_VALUE_UP: return uint8_t(x - b);
        case PNG_FILTER_VALUE_AVG: return uint8_t(x - (a + b) / 2);
        case PNG_FILTER_VALUE_PAETH: return uint8_t(x - PaethPredictor(a, b, c));
        default: return x;
    }
}

// Sixteen bytes at once (SSE2, which every x64 processor has).
struct Predicted {
    __m128i sub, up, avg, paeth;
};

inline __m128i Abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

inline __m128i Paeth8(__m128i a, __m128i b, __m128i c) {
    const __m128i zero = _mm_setzero_si128();
    __m128i halves[2];
    for (int half = 0; half < 2; ++half) {
        const __m128i a16 = half ? _mm_unpackhi_epi8(a, zero) : _mm_unpacklo_epi8(a, zero);
        const __m128i b16 = half ? _mm_unpackhi_epi8(b, zero) : _mm_unpacklo_epi8(b, zero);
        const __m128i c16 = half ? _mm_unpackhi_epi8(c, zero) : _mm_unpacklo_epi8(c, zero);
        const __m128i p = _mm_sub_epi16(b16, c16), q = _mm_sub_epi16(a16, c16);
        const __m128i pa = Abs16(p), pb = Abs16(q), pc = Abs16(_mm_add_epi16(p, q));
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i useB = _mm_andnot_si128(_mm_cmpgt_epi16(pb, pc), _mm_set1_epi16(-1));
        const __m128i bOrC = _mm_or_si128(_mm_and_si128(useB, b16), _mm_andnot_si128(useB, c16));
        halves[half] = _mm_or_si128(_mm_andnot_si128(notA, a16), _mm_and_si128(notA, bOrC));
    }
    return _mm_packus_epi16(halves[0], halves[1]);
}

inline Predicted Predict(const uint8_t* row, const uint8_t* prev, size_t i, size_t bpp) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - bpp));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i - bpp));
    // The floor of (a + b) / 2: _mm_avg_epu8 rounds up.
    const __m128i avg = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
    return {a, b, avg, Paeth8(a, b, c)};
}

// The sum of FilterCost over sixteen bytes, in the two halves of the result.
inline __m128i CostSum(__m128i v) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero);
}

inline size_t Total(__m128i sums) {
    return static_cast<size_t>(_mm_cvtsi128_si64(sums)) +
           static_cast<size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
}

// Filters one row into out, type byte first, with the filter libpng's
// default heuristic picks: the smallest sum of FilterCost over the row,
// ties to the earlier filter in the order none, sub, up, average, Paeth.
// row and prev (the row above, zeros for the first) are each preceded by
// pixelBytes zeros, the "left" of their first pixel as PNG defines it.
void FilterRow(const RowFilter& f, const uint8_t* row, const uint8_t* prev, uint8_t* out) {
    const size_t n = f.rowBytes, bpp = f.pixelBytes;
    uint8_t* d = out + 1;
    if (f.filters == PNG_FILTER_NONE) {
        out[0] = PNG_FILTER_VALUE_NONE;
        std::memcpy(d, row, n);
        return;
    }
    const size_t vectorEnd = n - n % 16;
    __m128i none = _mm_setzero_si128(), sub = none, up = none, avg = none, paeth = none;
    for (size_t i = 0; i < vectorEnd; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const Predicted p = Predict(row, prev, i, bpp);
        none = _mm_add_epi64(none, CostSum(x));
        sub = _mm_add_epi64(sub, CostSum(_mm_sub_epi8(x, p.sub)));
        up = _mm_add_epi64(up, CostSum(_mm_sub_epi8(x, p.up)));
        avg = _mm_add_epi64(avg, CostSum(_mm_sub_epi8(x, p.avg)));
        paeth = _mm_add_epi64(paeth, CostSum(_mm_sub_epi8(x, p.paeth)));
    }
    size_t sums[5] = {Total(none), Total(sub), Total(up), Total(avg), Total(paeth)};
    for (size_t i = vectorEnd; i < n; ++i)
        for (int type = 0; type < 5; ++type)
            sums[type] += FilterCost(Filtered(type, row[i], row[i - bpp], prev[i], prev[i - bpp]));

    int best = PNG_FILTER_VALUE_NONE;
    const unsigned flags[5] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};
    for (int type = 1; type < 5; ++type)
        if ((f.filters & flags[type]) != 0 && sums[type] < sums[best]) best = type;
    out[0] = static_cast<uint8_t>(best);
    if (best == PNG_FILTER_VALUE_NONE) {
        std::memcpy(d, row, n);
        return;
    }
    for (size_t i = 0; i < vectorEnd; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const Predicted p = Predict(row, prev, i, bpp);
        const __m128i predictor = best == PNG_FILTER_VALUE_SUB   ? p.sub
                                  : best == PNG_FILTER_VALUE_UP  ? p.up
                                  : best == PNG_FILTER_VALUE_AVG ? p.avg
                                                                 : p.paeth;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_sub_epi8(x, predictor));
    }
    for (size_t i = vectorEnd; i < n; ++i) d[i] = Filtered(best, row[i], row[i - bpp], prev[i], prev[i - bpp]);
}

// Runs work(0) ... work(count - 1) at once, each but the last on a thread of
// its own and the last on the calling thread, and returns when all are
// done. A part whose thread cannot be started runs here. work must not
// throw.
void RunAtOnce(size_t count, const std::function<void(size_t)>& work) {
    std::vector<std::thread> threads;
    threads.reserve(count);
    std::vector<size_t> here;
    here.reserve(count);
    for (size_t i = 0; i + 1 < count; ++i) {
        try {
            threads.emplace_back(work, i);
        } catch (const std::exception&) {
            here.push_back(i);
        }
    }
    here.push_back(count - 1);
    for (size_t i : here) work(i);
    for (std::thread& thread : threads) thread.join();
}

// A raw deflate stream at libpng's settings, ended on every path.
struct DeflateStream {
    z_stream z{};
    bool open = false;
    explicit DeflateStream(int strategy) {
        open = deflateInit2(&z, kZlibLevel, Z_DEFLATED, -15, 8, strategy) == Z_OK;
    }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    ~DeflateStream() {
        if (open) deflateEnd(&z);
    }
};

// Filters picture rows [first, end) and compresses them, row by row, as a
// raw deflate stream into out, ending with a full flush (so that the next
// band starts on a byte of its own with nothing pending) or, for the last
// band, the final block. The compressor is first given the filtered bytes
// just before the band, which the decoder has in its window by then;
// checksum gets the band's Adler-32. False when zlib or memory fails.
bool CompressBand(const CCaptureImage& image, const RowFilter& filter, long first, long end, bool last, int strategy,
                  std::vector<uint8_t>& out, uLong& checksum) {
    const size_t pad = filter.pixelBytes, lineBytes = filter.rowBytes + 1;
    // Each row with the zeros left of its first pixel.
    std::vector<uint8_t> row(pad + filter.rowBytes, 0), above(pad + filter.rowBytes, 0), line(lineBytes);
    const auto filterNext = [&](long top, uint8_t* into) {
        PngRow(image, top, filter.rowBytes, row.data() + pad);
        FilterRow(filter, row.data() + pad, above.data() + pad, into);
        row.swap(above);
    };
    const long primedRows = std::min(first, static_cast<long>((kDeflateWindow + lineBytes - 1) / lineBytes));
    std::vector<uint8_t> dictionary(static_cast<size_t>(primedRows) * lineBytes);
    if (first - primedRows > 0) PngRow(image, first - primedRows - 1, filter.rowBytes, above.data() + pad);
    for (long top = first - primedRows; top < first; ++top)
        filterNext(top, &dictionary[static_cast<size_t>(top - (first - primedRows)) * lineBytes]);

    DeflateStream stream(strategy);
    z_stream& z = stream.z;
    if (!stream.open) return false;
    const size_t primed = std::min(dictionary.size(), kDeflateWindow);
    if (primed > 0 &&
        deflateSetDictionary(&z, dictionary.data() + dictionary.size() - primed, static_cast<uInt>(primed)) != Z_OK)
        return false;
    out.resize(std::max<size_t>(65536, static_cast<size_t>(end - first) * lineBytes / 8));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    checksum = adler32(0, nullptr, 0);
    for (long top = first; top < end; ++top) {
        filterNext(top, line.data());
        checksum = adler32(checksum, line.data(), static_cast<uInt>(lineBytes));
        z.next_in = line.data();
        z.avail_in = static_cast<uInt>(lineBytes);
        const int flush = top + 1 < end ? Z_NO_FLUSH : last ? Z_FINISH : Z_FULL_FLUSH;
        for (;;) {
            if (z.avail_out == 0) {
                const size_t used = out.size();
                if (used >= (size_t(1) << 31)) return false;
                out.resize(used * 2);
                z.next_out = out.data() + used;
                z.avail_out = static_cast<uInt>(out.size() - used);
            }
            const int result = deflate(&z, flush);
            if (result == Z_STREAM_END) break;
            if (result != Z_OK) return false;
            // Done with this row once its input is taken and deflate had
            // room to spare (it then has nothing more to write for the flush).
            if (flush != Z_FINISH && z.avail_in == 0 && z.avail_out != 0) break;
        }
    }
    out.resize(out.size() - z.avail_out);
    return true;
}

// The picture's image data as one zlib stream, filtered and compressed on
// as many threads as there are cores, at least 256 rows each: the 2-byte
// header, the bands' deflate output one after another, and the Adler-32 of
// all the filtered bytes. False when memory or zlib fails.
bool DeflateInBands(const CCaptureImage& image, std::vector<uint8_t>& stream) {
    const RowFilter filter = FilterFor(image);
    const long height = image.Height();
    const size_t lineBytes = filter.rowBytes + 1;
    const size_t bands = CCaptureImage::PngThreads(height);
    const auto firstRow = [&](size_t band) { return static_cast<long>(static_cast<size_t>(height) * band / bands); };
    // libpng itself takes Z_FILTERED for filtered rows; on screen pictures
    // (flat areas, text) the default strategy makes files about 7 % smaller
    // at the same speed, so it is used for both kinds. (Pictures of fine
    // noise, photographs, come out a few per cent larger.)
    const int strategy = Z_DEFAULT_STRATEGY;
    // adler32_combine counts a band's length in a long, 32 bits here.
    for (size_t band = 0; band < bands; ++band)
        if (static_cast<size_t>(firstRow(band + 1) - firstRow(band)) * lineBytes > 0x7fffffffu) return false;

    std::vector<std::vector<uint8_t>> output(bands);
    std::vector<uLong> checksums(bands, 1);
    std::atomic<bool> failed{false};
    RunAtOnce(bands, [&](size_t band) {
        try {
            if (!CompressBand(image, filter, firstRow(band), firstRow(band + 1), band + 1 == bands, strategy,
                              output[band], checksums[band]))
                failed = true;
        } catch (const std::exception&) {
            failed = true;
        }
    });
    if (failed) return false;

    // The zlib header as deflate writes it for level 6 (window of 32 KB,
    // "default" level flag), and the Adler-32 of the whole stream.
    const unsigned cmf = 0x78, levelFlags = 2;
    unsigned flg = levelFlags << 6;
    flg += 31 - ((cmf << 8) + flg) % 31;
    size_t total = 6;
    for (const auto& piece : output) total += piece.size();
    stream.clear();
    stream.reserve(total);
    stream.push_back(static_cast<uint8_t>(cmf));
    stream.push_back(static_cast<uint8_t>(flg));
    uLong adler = checksums[0];
    for (size_t band = 0; band < bands; ++band) {
        stream.insert(stream.end(), output[band].begin(), output[band].end());
        if (band > 0) {
            const size_t length = static_cast<size_t>(firstRow(band + 1) - firstRow(band)) * lineBytes;
            adler = adler32_combine(adler, checksums[band], static_cast<z_off_t>(length));
        }
    }
    for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(static_cast<uint8_t>(adler >> shift));
    return true;
}

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

// The writer's libpng part: signature, IHDR, PLTE and pHYs, then either the
// rows through libpng or, when idat is given, that ready zlib stream as
// IDAT chunks, then IEND.
bool CompressPng(PngSink& sink, const CCaptureImage& image, png_color* colours, const std::vector<uint8_t>* idat) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (png == nullptr) return false;
    png_infop pngInfo = png_create_info_struct(png);
    if (pngInfo == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &pngInfo);
        return false;
    }
    png_set_write_fn(png, &sink, PngWrite, PngFlush);
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
    if (idat != nullptr) {
        for (size_t at = 0; at < idat->size(); at += kIdatChunkBytes)
            png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), idat->data() + at,
                            std::min(kIdatChunkBytes, idat->size() - at));
        // libpng's png_write_end insists on IDATs it compressed itself.
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
        png_write_flush(png);
    } else {
        if (!paletted) png_set_bgr(png);
        for (long y = image.Height() - 1; y >= 0; --y) png_write_row(png, const_cast<png_bytep>(image.Row(y)));
        png_write_end(png, pngInfo);
    }
    png_destroy_write_struct(&png, &pngInfo);
    return true;
}

// Both ways of the PNG writer, to a file or to memory.
bool WritePngTo(PngSink& sink, const CCaptureImage& image) {
    try {
        std::vector<uint8_t> idat;
        const bool banded = image.Height() >= kBandedPngRows;
        if (banded && !DeflateInBands(image, idat)) return false;
        if (banded) sink.Expect(idat.size() + idat.size() / kIdatChunkBytes * 12 + 2048);
        std::vector<png_color> colours(std::max(1u, image.PaletteSize()));
        return CompressPng(sink, image, colours.data(), banded ? &idat : nullptr);
    } catch (const std::exception&) {
        // Memory for the filtered rows or the stream.
        return false;
    }
}

}  // namespace

bool CCaptureImage::WriteJpeg(FILE* file) const {
    std::vector<uint8_t> row(static_cast<size_t>(Width()) * 3);
    const bool ok = CompressJpeg(file, *this, row.data(), jpegQuality_, xDpi_, yDpi_) && std::ferror(file) == 0;
    if (!ok) SetError(L"Error saving JPEG file");
    return ok;
}

bool CCaptureImage::WritePng(FILE* file) const {
    FileSink sink(file);
    const bool ok = WritePngTo(sink, *this) && std::ferror(file) == 0;
    if (!ok) SetError(L"Error saving PNG file");
    return ok;
}

unsigned CCaptureImage::PngThreads(long rows) {
    if (rows < kBandedPngRows) return 1;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::max(1L, std::min(static_cast<long>(cores), rows / kMinRowsPerBand)));
}

bool CCaptureImage::EncodePng(std::vector<uint8_t>& out) const {
    out.clear();
    if (!block_) return false;
    MemorySink sink(out);
    if (WritePngTo(sink, *this)) return true;
    out.clear();
    SetError(L"Error saving PNG file");
    return false;
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
