#include "output/GlyphOutline.h"

#include "platform/Gdi.h"

#include <usp10.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <memory>
#include <utility>
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

// A font at the design size with its Uniscribe cache.
struct DesignFont {
    platform::UniqueGdi<HFONT> font;
    ScriptCache cache;
    WORD missing = 0;  // the default glyph, which stands for characters the font lacks
};

// Faces that cover much of what a Latin face lacks (symbols, emoji, CJK,
// Indic scripts), tried in this order for characters the mark's face lacks.
constexpr const wchar_t* kFallbackFaces[] = {L"Segoe UI Symbol", L"Segoe UI Emoji", L"Segoe UI", L"Microsoft YaHei",
                                             L"Yu Gothic", L"Malgun Gothic", L"Nirmala UI", L"Arial Unicode MS"};

// The mark's face first, then, opened only when a character needs them,
// the fallback faces that are installed, and last the system's sans serif.
class FontChain {
public:
    explicit FontChain(HDC dc) : dc_(dc) {}
    ~FontChain() {
        if (previous_) SelectObject(dc_, previous_);
    }
    FontChain(const FontChain&) = delete;
    FontChain& operator=(const FontChain&) = delete;

    // The mark's face, or the system's sans serif when it is not installed.
    bool OpenPrimary(const std::wstring& face) {
        if (!face.empty() && Add(face.c_str(), DEFAULT_PITCH | FF_DONTCARE, true)) return true;
        return Add(L"", VARIABLE_PITCH | FF_SWISS, false);
    }
    // False when there is no font beyond the primary one.
    bool OpenFallbacks() {
        if (!fallbacksOpened_) {
            fallbacksOpened_ = true;
            for (const wchar_t* face : kFallbackFaces) Add(face, DEFAULT_PITCH | FF_DONTCARE, true);
            Add(L"", VARIABLE_PITCH | FF_SWISS, false);
        }
        return fonts_.size() > 1;
    }
    size_t Count() const { return fonts_.size(); }
    DesignFont& At(size_t index) { return *fonts_[index]; }
    void Select(size_t index) {
        HGDIOBJ previous = SelectObject(dc_, fonts_[index]->font.get());
        if (!previous_) previous_ = previous;
    }

private:
    // Adds the font of the face unless the font mapper gives another face
    // for it (when it must be exact) or a face the chain already has.
    bool Add(const wchar_t* face, BYTE pitchAndFamily, bool exact) {
        auto candidate = std::make_unique<DesignFont>();
        candidate->font.reset(CreateDesignFont(face, pitchAndFamily));
        if (!candidate->font) return false;
        wchar_t chosen[LF_FACESIZE] = {};
        SCRIPT_FONTPROPERTIES properties{};
        properties.cBytes = sizeof properties;
        {
            platform::SelectedObject probe(dc_, candidate->font.get());
            GetTextFaceW(dc_, LF_FACESIZE, chosen);
            if (FAILED(ScriptGetFontProperties(dc_, candidate->cache.get(), &properties))) return false;
        }
        if (exact && _wcsicmp(chosen, std::wstring(face).substr(0, LF_FACESIZE - 1).c_str()) != 0) return false;
        for (const std::wstring& known : faces_)
            if (_wcsicmp(known.c_str(), chosen) == 0) return false;
        candidate->missing = properties.wgDefault;
        faces_.emplace_back(chosen);
        fonts_.push_back(std::move(candidate));
        return true;
    }

    HDC dc_;
    std::vector<std::unique_ptr<DesignFont>> fonts_;
    std::vector<std::wstring> faces_;
    bool fallbacksOpened_ = false;
    HGDIOBJ previous_ = nullptr;
};

struct PlacedGlyph {
    WORD glyph;
    size_t font;  // in the chain
    int x;        // pen position in design pixels from the line's start
    GOFFSET offset;
};

// A run of characters shaped and placed in one font.
struct ShapedRun {
    std::vector<WORD> glyphs, clusters;
    std::vector<SCRIPT_VISATTR> attributes;
    std::vector<int> advances;
    std::vector<GOFFSET> offsets;
    int missing = 0;  // glyphs that stand for characters the font lacks
};

bool ShapeRun(HDC dc, FontChain& fonts, size_t font, const wchar_t* chars, int count, SCRIPT_ANALYSIS analysis,
              ShapedRun& run) {
    fonts.Select(font);
    DesignFont& f = fonts.At(font);
    run.glyphs.resize(static_cast<size_t>(count) * 3 / 2 + 16);
    run.clusters.resize(static_cast<size_t>(count));
    run.attributes.resize(run.glyphs.size());
    int glyphCount = 0;
    HRESULT hr;
    for (;;) {
        hr = ScriptShape(dc, f.cache.get(), chars, count, static_cast<int>(run.glyphs.size()), &analysis,
                         run.glyphs.data(), run.clusters.data(), run.attributes.data(), &glyphCount);
        if (hr == E_OUTOFMEMORY && run.glyphs.size() < static_cast<size_t>(count) * 8) {
            run.glyphs.resize(run.glyphs.size() * 2);
            run.attributes.resize(run.glyphs.size());
        } else if (hr == USP_E_SCRIPT_NOT_IN_FONT && analysis.eScript != SCRIPT_UNDEFINED) {
            // The font lacks the script: its default glyphs show where the
            // characters are rather than nothing.
            analysis.eScript = SCRIPT_UNDEFINED;
        } else {
            break;
        }
    }
    if (FAILED(hr)) return false;
    run.glyphs.resize(static_cast<size_t>(glyphCount));
    run.attributes.resize(static_cast<size_t>(glyphCount));
    run.advances.assign(static_cast<size_t>(glyphCount), 0);
    run.offsets.assign(static_cast<size_t>(glyphCount), GOFFSET{});
    ABC abc{};
    if (FAILED(ScriptPlace(dc, f.cache.get(), run.glyphs.data(), glyphCount, run.attributes.data(), &analysis,
                           run.advances.data(), run.offsets.data(), &abc)))
        return false;
    run.missing = static_cast<int>(std::count(run.glyphs.begin(), run.glyphs.end(), f.missing));
    return true;
}

void Place(const ShapedRun& run, size_t font, int& pen, std::vector<PlacedGlyph>& placed) {
    for (size_t g = 0; g < run.glyphs.size(); ++g) {
        placed.push_back(PlacedGlyph{run.glyphs[g], font, pen, run.offsets[g]});
        pen += run.advances[g];
    }
}

// Shapes a run in the mark's font; the stretches of characters it lacks go
// to the fallback font that lacks fewest of them.
bool ShapeItem(HDC dc, FontChain& fonts, const wchar_t* chars, int count, const SCRIPT_ANALYSIS& analysis, int& pen,
               std::vector<PlacedGlyph>& placed) {
    ShapedRun whole;
    if (!ShapeRun(dc, fonts, 0, chars, count, analysis, whole)) return false;
    if (whole.missing == 0 || !fonts.OpenFallbacks()) {
        Place(whole, 0, pen, placed);
        return true;
    }
    // Stretches of characters the primary font has or lacks (a surrogate
    // pair shares its cluster, so it is never split).
    std::vector<std::pair<int, int>> stretches;  // begin, end
    std::vector<bool> lacking;
    for (int c = 0; c < count;) {
        const auto lacks = [&](int i) {
            const WORD g = whole.clusters[i];
            return g < whole.glyphs.size() && whole.glyphs[g] == fonts.At(0).missing;
        };
        const bool state = lacks(c);
        int end = c + 1;
        while (end < count && lacks(end) == state) ++end;
        stretches.emplace_back(c, end);
        lacking.push_back(state);
        c = end;
    }
    std::vector<size_t> order(stretches.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = analysis.fRTL ? order.size() - 1 - i : i;
    for (const size_t i : order) {
        const auto [begin, end] = stretches[i];
        ShapedRun best;
        size_t bestFont = 0;
        if (!ShapeRun(dc, fonts, 0, chars + begin, end - begin, analysis, best)) return false;
        for (size_t f = 1; lacking[i] && best.missing > 0 && f < fonts.Count(); ++f) {
            ShapedRun other;
            if (ShapeRun(dc, fonts, f, chars + begin, end - begin, analysis, other) && other.missing < best.missing) {
                best = std::move(other);
                bestFont = f;
            }
        }
        Place(best, bestFont, pen, placed);
    }
    return true;
}

// One line's glyphs in visual order with their fonts and pen positions.
// False when Uniscribe cannot shape it.
bool ShapeLine(HDC dc, FontChain& fonts, const wchar_t* chars, int length, std::vector<PlacedGlyph>& placed) {
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
        if (count > 0 && !ShapeItem(dc, fonts, chars + start, count, items[i].a, pen, placed)) return false;
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
    FontChain fonts(dc.get());
    if (!fonts.OpenPrimary(face)) return false;
    fonts.Select(0);
    TEXTMETRICW metrics{};
    if (!GetTextMetricsW(dc.get(), &metrics)) return false;

    const float scale = pixels / kDesignPixels;
    const int lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
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
        if (length > 0 && ShapeLine(dc.get(), fonts, text.c_str() + lineStart, static_cast<int>(length), placed)) {
            const float baseline = top + static_cast<float>(line * lineHeight + metrics.tmAscent) * scale;
            for (const PlacedGlyph& g : placed) {
                fonts.Select(g.font);
                AppendGlyph(dc.get(), g.glyph, left + static_cast<float>(g.x + g.offset.du) * scale,
                            baseline - static_cast<float>(g.offset.dv) * scale, scale, points, types);
            }
        }
        lineStart = lineEnd + 1;
    }
    if (points.empty()) return false;
    Gdiplus::GraphicsPath glyphs(points.data(), types.data(), static_cast<INT>(points.size()), Gdiplus::FillModeWinding);
    if (glyphs.GetLastStatus() != Gdiplus::Ok) return false;
    path.SetFillMode(Gdiplus::FillModeWinding);
    return path.AddPath(&glyphs, FALSE) == Gdiplus::Ok;
}
