#include "capture/BKImageCaptureWnd.h"

#include "options/CaptureOptions.h"
#include "platform/Gdi.h"
#include "platform/Monitors.h"
#include "platform/TraceTimer.h"

#include <dwmapi.h>

namespace {

struct VisitContext {
    std::vector<WindowListEntry>* list;
    bool childrenExcluded;
    RECT clip;
};

void Visit(HWND window, const RECT& clip, std::vector<WindowListEntry>& list, bool childrenExcluded,
           bool topLevel = false);

BOOL CALLBACK VisitChild(HWND window, LPARAM data) {
    auto* context = reinterpret_cast<VisitContext*>(data);
    Visit(window, context->clip, *context->list, context->childrenExcluded);
    return TRUE;
}

void Visit(HWND window, const RECT& clip, std::vector<WindowListEntry>& list, bool childrenExcluded, bool topLevel) {
    RECT rect;
    if (::IsWindowVisible(window) != TRUE) return;
    // A top-level window the user cannot see (a suspended app, one on
    // another virtual desktop) is not offered, and one that is offered counts
    // without its invisible resize borders.
    if (topLevel ? !VisibleFrame(window, rect) : !::GetWindowRect(window, &rect)) return;
    if (::IsRectEmpty(&rect)) return;
    RECT visible{};
    if (!::IntersectRect(&visible, &rect, &clip)) visible = RECT{};
    if (!childrenExcluded) {
        VisitContext child{&list, childrenExcluded, visible};
        ::EnumChildWindows(window, VisitChild, reinterpret_cast<LPARAM>(&child));
    }
    list.push_back({visible, window});
}

BOOL CALLBACK VisitTop(HWND window, LPARAM data) {
    auto* context = reinterpret_cast<VisitContext*>(data);
    Visit(window, context->clip, *context->list, context->childrenExcluded, true);
    return TRUE;
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

bool VisibleFrame(HWND window, RECT& frame) {
    CompositorAnswers answers{};
    if (!::GetWindowRect(window, &answers.window)) return false;
    answers.cloakedResult = ::DwmGetWindowAttribute(window, DWMWA_CLOAKED, &answers.cloaked, sizeof(answers.cloaked));
    answers.extendedResult = ::DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &answers.extendedFrame,
                                                     sizeof(answers.extendedFrame));
    return OfferedFrame(answers, frame);
}

BKImageCaptureWnd::BKImageCaptureWnd(CaptureOptions* options) : m_options(options) {}

bool BKImageCaptureWnd::BuildWindowList(bool childrenExcluded) {
    m_windowList.clear();
    // Windows on every monitor count; what lies beyond all of them does not.
    VisitContext context{&m_windowList, childrenExcluded, platform::VirtualScreen()};
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
    // paint are plain copies.
    platform::UniqueHbitmap bitmap(::CreateCompatibleBitmap(screen.get(), w, h));
    if (!memory || !bitmap) return false;
    {
        platform::SelectedObject selected(memory.get(), bitmap.get());
        // CAPTUREBLT brings layered (translucent) windows into the copy.
        if (!::BitBlt(memory.get(), 0, 0, w, h, screen.get(), rect.left, rect.top, SRCCOPY | CAPTUREBLT)) return false;
        DrawCursorIntoCapture(memory.get());
    }
    m_grab = std::move(bitmap);
    return true;
}

bool BKImageCaptureWnd::ConvertGrab() {
    if (!m_grab) return !m_BackGround.IsEmpty();
    TraceTimer create(L"m_BackGround.CreateFromHBITMAP");
    m_BackGround.SetXDPI(0);
    m_BackGround.SetYDPI(0);
    const bool made = m_BackGround.CreateFromHBITMAP(m_grab.get());
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
