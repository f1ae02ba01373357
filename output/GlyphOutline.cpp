#include "output/GlyphOutline.h"

#include "platform/Gdi.h"

#include <usp10.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <vector>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <objidl.h>
#include <gdiplus.h>

namespace {

// The outlines are read at this em height and scaled down, so that the
// advances keep their fractions and the curves are the font's own, not
// hinted to a small pixel grid.
constexpr int kDesignPixels = 256;

HFONT CreateDesignFont(const wchar_t* face, BYTE pitchAndFamily) {
    LOGFONTW font{};
    font.lfHeight = -kDesignPixels;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = pitchAndFamily;
    wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}

// The Uniscribe cache of one font, freed with it.
class ScriptCache {
public:
    ScriptCache() = default;
    ~ScriptCache() { ScriptFreeCache(&cache_); }
    ScriptCache(const ScriptCache&) = delete;
    ScriptCache& operator=(const ScriptCache&) = delete;
    SCRIPT_CACHE* get() { return &cache_; }

private:
    SCRIPT_CACHE cache_ = nullptr;
};

struct PlacedGlyph {
    WORD glyph;
    int x;  // pen position in design pixels from the line's start
    GOFFSET offset;
};

// One line's glyphs in visual order with their pen positions. False when
// Uniscribe cannot shape it.
bool ShapeLine(HDC dc, ScriptCache& cache, const wchar_t* chars, int length, std::vector<PlacedGlyph>& placed) {
    // Room for one item per character and the end marker; Uniscribe wants
    // room for at least two items.
    std::vector<SCRIPT_ITEM> items(static_cast<size_t>(length) + 2);
    int itemCount = 0;
    HRESULT hr;
    while ((hr = ScriptItemize(chars, length, static_cast<int>(items.size()) - 1, nullptr, nullptr, items.data(),
                               &itemCount)) == E_OUTOFMEMORY)
        items.resize(items.size() * 2);
    if (FAILED(hr) || itemCount <= 0) return false;

    std::vector<BYTE> levels(static_cast<size_t>(itemCount));
    for (int i = 0; i < itemCount; ++i) levels[i] = static_cast<BYTE>(items[i].a.s.uBidiLevel);
    std::vector<int> visualToLogical(static_cast<size_t>(itemCount));
    if (FAILED(ScriptLayout(itemCount, levels.data(), visualToLogical.data(), nullptr)))
        for (int i = 0; i < itemCount; ++i) visualToLogical[i] = i;

    int pen = 0;
    for (const int i : visualToLogical) {
        const int start = items[i].iCharPos, count = items[i + 1].iCharPos - start;
        if (count <= 0) continue;
        SCRIPT_ANALYSIS analysis = items[i].a;
        std::vector<WORD> glyphs(static_cast<size_t>(count) * 3 / 2 + 16), clusters(static_cast<size_t>(count));
        std::vector<SCRIPT_VISATTR> attributes(glyphs.size());
        int glyphCount = 0;
        for (;;) {
            hr = ScriptShape(dc, cache.get(), chars + start, count, static_cast<int>(glyphs.size()), &analysis,
                             glyphs.data(), clusters.data(), attributes.data(), &glyphCount);
            if (hr == E_OUTOFMEMORY && glyphs.size() < static_cast<size_t>(count) * 8) {
                glyphs.resize(glyphs.size() * 2);
                attributes.resize(glyphs.size());
            } else if (hr == USP_E_SCRIPT_NOT_IN_FONT && analysis.eScript != SCRIPT_UNDEFINED) {
                // The font lacks the script: its default glyphs show where
                // the characters are rather than nothing.
                analysis.eScript = SCRIPT_UNDEFINED;
            } else {
                break;
            }
        }
        if (FAILED(hr)) return false;
        std::vector<int> advances(static_cast<size_t>(glyphCount));
        std::vector<GOFFSET> offsets(static_cast<size_t>(glyphCount));
        ABC abc{};
        if (FAILED(ScriptPlace(dc, cache.get(), glyphs.data(), glyphCount, attributes.data(), &analysis,
                               advances.data(), offsets.data(), &abc)))
            return false;
        for (int g = 0; g < glyphCount; ++g) {
            placed.push_back(PlacedGlyph{glyphs[g], pen, offsets[g]});
            pen += advances[g];
        }
    }
    return true;
}

float FromFixed(FIXED f) { return static_cast<float>(f.value) + f.fract / 65536.0f; }

// Appends one glyph's contours (GGO_BEZIER: lines and cubic curves) as
// figures of points and GDI+ point types. False when the glyph has no
// outline (a space) or GDI has none to give.
bool AppendGlyph(HDC dc, WORD glyph, float originX, float baselineY, float scale, std::vector<Gdiplus::PointF>& points,
                 std::vector<BYTE>& types) {
    GLYPHMETRICS metrics{};
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    const UINT format = GGO_GLYPH_INDEX | GGO_BEZIER;
    const DWORD size = GetGlyphOutlineW(dc, glyph, format, &metrics, 0, nullptr, &identity);
    if (size == GDI_ERROR || size == 0) return false;
    std::vector<BYTE> buffer(size);
    if (GetGlyphOutlineW(dc, glyph, format, &metrics, size, buffer.data(), &identity) == GDI_ERROR) return false;

    auto toPath = [&](const POINTFX& p) {
        return Gdiplus::PointF(originX + FromFixed(p.x) * scale, baselineY - FromFixed(p.y) * scale);
    };
    const size_t before = points.size();
    size_t at = 0;
    while (at + sizeof(TTPOLYGONHEADER) <= size) {
        TTPOLYGONHEADER header;
        memcpy(&header, buffer.data() + at, sizeof header);
        if (header.dwType != TT_POLYGON_TYPE || header.cb < sizeof header || at + header.cb > size) break;
        const size_t end = at + header.cb;
        const size_t figure = points.size();
        points.push_back(toPath(header.pfxStart));
        types.push_back(Gdiplus::PathPointTypeStart);
        size_t curve = at + sizeof header;
        while (curve + offsetof(TTPOLYCURVE, apfx) <= end) {
            WORD kind, count;
            memcpy(&kind, buffer.data() + curve + offsetof(TTPOLYCURVE, wType), sizeof kind);
            memcpy(&count, buffer.data() + curve + offsetof(TTPOLYCURVE, cpfx), sizeof count);
            const size_t first = curve + offsetof(TTPOLYCURVE, apfx);
            if (first + size_t{count} * sizeof(POINTFX) > end) break;
            const bool bezier = kind == TT_PRIM_CSPLINE;
            if (!bezier && kind != TT_PRIM_LINE) break;
            // A Bezier's points come in threes; a stray remainder is dropped.
            const WORD usable = bezier ? static_cast<WORD>(count - count % 3) : count;
            for (WORD k = 0; k < usable; ++k) {
                POINTFX p;
                memcpy(&p, buffer.data() + first + size_t{k} * sizeof(POINTFX), sizeof p);
                points.push_back(toPath(p));
                types.push_back(bezier ? Gdiplus::PathPointTypeBezier : Gdiplus::PathPointTypeLine);
            }
            curve = first + size_t{count} * sizeof(POINTFX);
        }
        if (points.size() - figure < 2) {
            points.resize(figure);
            types.resize(figure);
        } else {
            types.back() |= Gdiplus::PathPointTypeCloseSubpath;
        }
        at = end;
    }
    return points.size() > before;
}

}  // namespace

bool AddTextOutline(Gdiplus::GraphicsPath& path, const std::wstring& text, const std::wstring& face, float pixels,
                    float left, float top) {
    if (text.empty() || !(pixels > 0)) return false;
    platform::MemoryDc dc(nullptr);
    if (!dc) return false;
    // A face the font mapper does not have gives whatever it likes best;
    // the system's sans serif is asked for instead.
    platform::UniqueGdi<HFONT> font(CreateDesignFont(face.c_str(), DEFAULT_PITCH | FF_DONTCARE));
    bool found = false;
    if (font && !face.empty()) {
        platform::SelectedObject probe(dc.get(), font.get());
        wchar_t chosen[LF_FACESIZE] = {};
        GetTextFaceW(dc.get(), LF_FACESIZE, chosen);
        found = _wcsicmp(chosen, face.substr(0, LF_FACESIZE - 1).c_str()) == 0;
    }
    if (!found) font.reset();
    if (!font) font.reset(CreateDesignFont(L"", VARIABLE_PITCH | FF_SWISS));
    if (!font) return false;
    platform::SelectedObject selected(dc.get(), font.get());
    TEXTMETRICW metrics{};
    if (!GetTextMetricsW(dc.get(), &metrics)) return false;

    const float scale = pixels / kDesignPixels;
    const int lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
    ScriptCache cache;
    std::vector<Gdiplus::PointF> points;
    std::vector<BYTE> types;
    std::vector<PlacedGlyph> placed;
    size_t lineStart = 0;
    for (int line = 0; lineStart <= text.size(); ++line) {
        size_t lineEnd = text.find(L'\n', lineStart);
        if (lineEnd == std::wstring::npos) lineEnd = text.size();
        size_t length = lineEnd - lineStart;
        if (length > 0 && text[lineStart + length - 1] == L'\r') --length;  // a pasted CR LF
        placed.clear();
        if (length > 0 && ShapeLine(dc.get(), cache, text.c_str() + lineStart, static_cast<int>(length), placed)) {
            const float baseline = top + static_cast<float>(line * lineHeight + metrics.tmAscent) * scale;
            for (const PlacedGlyph& g : placed)
                AppendGlyph(dc.get(), g.glyph, left + static_cast<float>(g.x + g.offset.du) * scale,
                            baseline - static_cast<float>(g.offset.dv) * scale, scale, points, types);
        }
        lineStart = lineEnd + 1;
    }
    if (points.empty()) return false;
    Gdiplus::GraphicsPath glyphs(points.data(), types.data(), static_cast<INT>(points.size()), Gdiplus::FillModeWinding);
    if (glyphs.GetLastStatus() != Gdiplus::Ok) return false;
    path.SetFillMode(Gdiplus::FillModeWinding);
    return path.AddPath(&glyphs, FALSE) == Gdiplus::Ok;
}
