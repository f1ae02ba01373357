#include "capture/BKImageCaptureWnd.h"

#include "options/CaptureOptions.h"
#include "platform/Gdi.h"
#include "platform/Monitors.h"
#include "platform/TraceTimer.h"

#include <dwmapi.h>

namespace {

// No system holds more windows than its handle table: a walk that looks at
// more is going round a z-order that changed under it, and stops.
constexpr size_t kMostWindows = 65536;

using Compositor = std::function<CompositorAnswers(HWND)>;

// The visible rectangle of a window inside clip, or false when the window
// is not shown or has no size. For a top-level window the compositor is
// asked (a child has none): one the user cannot see (a suspended app, one on
// another virtual desktop) is not offered, and one that is offered counts
// without its invisible resize borders.
bool VisiblePart(HWND window, const RECT& clip, const Compositor* topLevel, RECT& visible) {
    RECT rect;
    if (::IsWindowVisible(window) != TRUE) return false;
    if (topLevel ? !OfferedFrame((*topLevel)(window), rect) : !::GetWindowRect(window, &rect)) return false;
    if (::IsRectEmpty(&rect)) return false;
    if (!::IntersectRect(&visible, &rect, &clip)) visible = RECT{};
    return true;
}

// Lists a top-level window and, unless they are excluded, its descendants:
// each window once, after its children (so the deepest window under a
// point comes first), each clipped to the visible part of its parent. One
// level at a time through the window manager's own links, without
// recursion, so that neither a deep chain of windows nor a wide one costs
// more than one look at each.
void Visit(HWND topLevel, const RECT& clip, const Compositor& compositor, std::vector<WindowListEntry>& list,
           bool childrenExcluded, size_t& looked) {
    struct Level {
        HWND window;
        RECT visible;
        HWND nextChild;  // the next child of window still to look at
    };
    RECT visible{};
    if (!VisiblePart(topLevel, clip, &compositor, visible)) return;
    const auto firstChild = [childrenExcluded](HWND window, const RECT& part) {
        // Nothing of a window's children shows where nothing of it does.
        return childrenExcluded || ::IsRectEmpty(&part) ? nullptr : ::GetWindow(window, GW_CHILD);
    };
    std::vector<Level> path{{topLevel, visible, firstChild(topLevel, visible)}};
    while (!path.empty()) {
        Level& level = path.back();
        if (level.nextChild == nullptr) {
            list.push_back({level.visible, level.window});
            path.pop_back();
            continue;
        }
        const HWND child = level.nextChild;
        level.nextChild = ++looked < kMostWindows ? ::GetWindow(child, GW_HWNDNEXT) : nullptr;
        if (VisiblePart(child, level.visible, nullptr, visible))
            path.push_back({child, visible, firstChild(child, visible)});
    }
}

struct VisitContext {
    std::vector<WindowListEntry>* list;
    bool childrenExcluded;
    RECT clip;
    const Compositor* compositor;
    size_t looked = 0;
};

BOOL CALLBACK VisitTop(HWND window, LPARAM data) {
    auto* context = reinterpret_cast<VisitContext*>(data);
    Visit(window, context->clip, *context->compositor, *context->list, context->childrenExcluded, context->looked);
    return ++context->looked < kMostWindows;
}

// The cursor showing now, also when another program's window is under it.
HCURSOR GetForeignCursor(POINT& position) {
    ::GetCursorPos(&position);
    const HWND under = ::WindowFromPoint(position);
    const DWORD thread = under ? ::GetWindowThreadProcessId(under, nullptr) : 0;
    const DWORD self = ::GetCurrentThreadId();
    if (thread == 0 || thread == self) {
        const HCURSOR cursor = ::GetCursor();
        ::GetCursorPos(&position);
        return cursor;
    }
    if (!::AttachThreadInput(self, thread, TRUE)) return nullptr;
    const HCURSOR cursor = ::GetCursor();
    ::GetCursorPos(&position);
    ::AttachThreadInput(self, thread, FALSE);
    return cursor;
}

}  // namespace

bool OfferedFrame(const CompositorAnswers& answers, RECT& frame) {
    // Hidden by the compositor although visible: not offered. A platform
    // that cannot answer hides nothing.
    if (SUCCEEDED(answers.cloakedResult) && answers.cloaked != 0) return false;
    frame = answers.window;
    // The frame the compositor draws lies inside the window rectangle; what
    // else it answers (or a failed query) leaves the rectangle.
    const RECT& extended = answers.extendedFrame;
    if (SUCCEEDED(answers.extendedResult) && !::IsRectEmpty(&extended) && extended.left >= frame.left &&
        extended.top >= frame.top && extended.right <= frame.right && extended.bottom <= frame.bottom)
        frame = extended;
    return true;
}

CompositorAnswers AskCompositor(HWND window) {
    CompositorAnswers answers{};
    if (!::GetWindowRect(window, &answers.window)) answers.window = RECT{};
    answers.cloakedResult = ::DwmGetWindowAttribute(window, DWMWA_CLOAKED, &answers.cloaked, sizeof(answers.cloaked));
    answers.extendedResult = ::DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &answers.extendedFrame,
                                                     sizeof(answers.extendedFrame));
    return answers;
}

bool VisibleFrame(HWND window, RECT& frame) {
    if (window == nullptr || !::IsWindow(window)) return false;
    return OfferedFrame(AskCompositor(window), frame);
}

BKImageCaptureWnd::BKImageCaptureWnd(CaptureOptions* options) : m_options(options) {
    m_aidsOn = options != nullptr && options->GetProgramOption(L"SelectionAids", false) == L"1";
}

bool BKImageCaptureWnd::AidsReady() {
    if (!m_aidsOn) return false;
    // Without the grab (it failed, or was converted already) the overlay
    // paints as it does without aids.
    if (!m_aids.Prepared() && (!m_grab || !m_aids.Prepare(m_grab.get(), nullptr, m_grabSize, m_origin))) {
        m_aidsOn = false;
        return false;
    }
    return m_aids.Ready();
}

bool BKImageCaptureWnd::PaintPlainWhileDimming() {
    if (!m_aidsOn || AidsReady()) return false;
    // The aids may have turned out impossible: the overlay's own plain paint.
    if (!m_aidsOn) return false;
    PAINTSTRUCT ps;
    if (::BeginPaint(hwnd(), &ps) != nullptr) PaintBackground(ps.hdc);
    ::EndPaint(hwnd(), &ps);
    m_paintedPlain = true;
    m_aids.StartDimming();
    return true;
}

LRESULT BKImageCaptureWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            const LRESULT result = ICaptureWnd::HandleMessage(message, wParam, lParam);
            if (m_aidsOn) m_aids.NotifyWhenDimmed(hwnd(), kAidsDimmedMessage);
            return result;
        }
        case kAidsDimmedMessage:
            if (m_paintedPlain && AidsReady()) ::InvalidateRect(hwnd(), nullptr, FALSE);
            return 0;
        default: return ICaptureWnd::HandleMessage(message, wParam, lParam);
    }
}

bool BKImageCaptureWnd::BuildWindowList(bool childrenExcluded) {
    m_windowList.clear();
    // Windows on every monitor count; what lies beyond all of them does not.
    VisitContext context{&m_windowList, childrenExcluded, platform::VirtualScreen(), &m_compositor};
    m_origin = POINT{context.clip.left, context.clip.top};
    ::EnumWindows(VisitTop, reinterpret_cast<LPARAM>(&context));
    return !m_windowList.empty();
}

void BKImageCaptureWnd::DrawCursorIntoCapture(HDC memoryDc) {
    if (m_options == nullptr || m_options->GetProgramOption(L"HideCursor", false) != L"0") return;
    POINT position{};
    const HCURSOR cursor = GetForeignCursor(position);
    if (cursor == nullptr) return;
    ICONINFO info{};
    if (::GetIconInfo(cursor, &info)) {
        position.x -= static_cast<LONG>(info.xHotspot);
        position.y -= static_cast<LONG>(info.yHotspot);
        if (info.hbmMask) ::DeleteObject(info.hbmMask);
        if (info.hbmColor) ::DeleteObject(info.hbmColor);
    }
    ::DrawIcon(memoryDc, position.x - m_origin.x, position.y - m_origin.y, cursor);
}

bool BKImageCaptureWnd::CaptureDesktop() { return GrabDesktop() && ConvertGrab(); }

bool BKImageCaptureWnd::GrabDesktop() {
    TraceTimer trace(L"BKImageCaptureWnd::GrabDesktop");
    m_aids.Release();
    m_grab.reset();
    // Every monitor: the picture's (0, 0) is the virtual screen's top-left,
    // which lies at negative coordinates when a monitor is left of or above
    // the primary one.
    const RECT rect = platform::VirtualScreen();
    m_origin = POINT{rect.left, rect.top};
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    platform::WindowDc screen(nullptr);
    if (!screen || w <= 0 || h <= 0) return false;
    platform::MemoryDc memory(screen.get());
    // In the screen's own format, so that both the grab and the overlay's
    // paint are plain copies. With the selection aids a 32-bit DIB section
    // instead, whose bits the dimmed copy is made from while the overlay
    // window is created.
    platform::UniqueHbitmap bitmap;
    void* bits = nullptr;
    if (m_aidsOn) bitmap.reset(platform::CreateTopDownDib32(screen.get(), w, h, &bits));
    if (!bitmap) bitmap.reset(::CreateCompatibleBitmap(screen.get(), w, h));
    if (!memory || !bitmap) return false;
    {
        platform::SelectedObject selected(memory.get(), bitmap.get());
        // CAPTUREBLT brings layered (translucent) windows into the copy.
        if (!::BitBlt(memory.get(), 0, 0, w, h, screen.get(), rect.left, rect.top, SRCCOPY | CAPTUREBLT)) return false;
        DrawCursorIntoCapture(memory.get());
    }
    m_grab = std::move(bitmap);
    m_grabSize = SIZE{w, h};
    if (m_aidsOn && !m_aids.Prepare(m_grab.get(), bits, m_grabSize, m_origin)) m_aidsOn = false;
    return true;
}

bool BKImageCaptureWnd::ConvertGrab() {
    if (!m_grab) return !m_BackGround.IsEmpty();
    TraceTimer create(L"m_BackGround.CreateFromHBITMAP");
    m_BackGround.SetXDPI(0);
    m_BackGround.SetYDPI(0);
    const bool made = m_BackGround.CreateFromHBITMAP(m_grab.get());
    m_aids.Release();
    m_grab.reset();
    return made;
}

void BKImageCaptureWnd::PaintBackground(HDC dc) {
    TraceTimer trace(L"m_BackGround.Draw");
    // The overlay has the frozen picture's size, so the picture goes 1:1
    // and only the part the clip leaves is transferred.
    if (!m_grab) {
        m_BackGround.Draw(dc, 0, 0);
        return;
    }
    RECT box{};
    if (::GetClipBox(dc, &box) == ERROR) ::GetClientRect(hwnd(), &box);
    platform::MemoryDc memory(dc);
    if (!memory) return;
    platform::SelectedObject selected(memory.get(), m_grab.get());
    ::BitBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, memory.get(), box.left, box.top,
             SRCCOPY);
}
