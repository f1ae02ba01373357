#include "app/MarkupWindow.h"

#include "app/MarkupCanvas.h"
#include "app/MarkupToolStrip.h"
#include "output/ClipboardExport.h"
#include "platform/Foreground.h"
#include "resources/resource.h"
#include "uikit/MessageBox.h"
#include "uikit/TextCatalog.h"

#include <algorithm>

namespace {

constexpr COLORREF kPalette[MarkupWindow::kColourCount] = {RGB(230, 25, 25), RGB(255, 210, 0), RGB(20, 160, 60),
                                                          RGB(0, 100, 230),  RGB(0, 0, 0),     RGB(255, 255, 255)};
constexpr int kLineWidths[MarkupWindow::kWidthCount] = {2, 4, 8};

}  // namespace

COLORREF MarkupWindow::PaletteColour(int index) { return kPalette[std::clamp(index, 0, kColourCount - 1)]; }

// The document takes the picture over instead of copying it, which at 4K
// is a good part of the time to the first paint; whatever way the window
// ends, the caller gets a picture back.
MarkupWindow::MarkupWindow(CCaptureImage& image, const MarkupWindowSetup& setup)
    : image_(image), setup_(setup), document_(std::move(image)) {}

MarkupWindow::~MarkupWindow() {
    // The children go before the objects that paint them.
    Destroy();
    if (image_.IsEmpty() && document_.IsValid()) image_ = document_.TakeOriginal();
}

MarkupResult MarkupWindow::Run(CCaptureImage& image, const MarkupWindowSetup& setup) {
    // A picture the window cannot show goes on unmarked rather than being
    // lost.
    if (image.IsEmpty() || image.Bpp() != 24 || !EnsureGdiplus()) return MarkupResult::Done;
    MarkupWindow window(image, setup);
    if (!window.document_.IsValid() || !window.CreateWindows()) return MarkupResult::Done;  // the picture comes back
    ::ShowWindow(window.hwnd(), SW_SHOWNORMAL);
    platform::BringToForeground(window.hwnd());
    ::SetFocus(window.canvas_->hwnd());
    ::UpdateWindow(window.hwnd());
    if (setup.onShown) setup.onShown(window.hwnd());
    window.RunModalLoop();
    if (!window.finished_) {
        // The loop ended without Done or Discard: the session is ending or
        // the window was destroyed from outside. The marks go with the
        // picture to the profile's action.
        window.canvas_->EndText(true);
        CCaptureImage flattened = window.document_.Flatten();
        const auto& marks = window.document_.Marks();
        const bool redacted = std::any_of(marks.begin(), marks.end(), [](const Mark& m) { return m.IsRedaction(); });
        if (!flattened.IsEmpty()) {
            image = std::move(flattened);
            window.result_ = MarkupResult::Done;
        } else {
            // Unmarked, the picture may go on; unredacted, it must not.
            window.result_ = redacted ? MarkupResult::Discard : MarkupResult::Done;
            image = window.document_.TakeOriginal();
        }
    } else if (window.result_ == MarkupResult::Discard) {
        image = window.document_.TakeOriginal();
    }
    if (setup.onShown) setup.onShown(nullptr);
    return window.result_;
}

bool MarkupWindow::CreateWindows() {
    POINT nearPoint = setup_.nearPoint;
    if (!setup_.hasNearPoint) ::GetCursorPos(&nearPoint);
    MONITORINFO monitor{sizeof(monitor)};
    if (!::GetMonitorInfoW(::MonitorFromPoint(nearPoint, MONITOR_DEFAULTTONEAREST), &monitor))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    const RECT work = monitor.rcWork;
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    if (!Create(kMarkupWindowClass, 0, WS_EX_APPWINDOW, L"", style,
                RECT{work.left, work.top, work.left + 400, work.top + 300}, nullptr,
                ::LoadCursorW(nullptr, IDC_ARROW)))
        return false;
    if (HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)))
        ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    dpi_ = platform::WindowDpi(hwnd());
    UpdateTitle();
    strip_ = std::make_unique<MarkupToolStrip>(*this);
    canvas_ = std::make_unique<MarkupCanvas>(*this);
    if (!strip_->Create(hwnd()) || !canvas_->Create(hwnd())) return false;
    const int stripHeight = strip_->LayoutFor(dpi_);

    // Sized to the picture, up to 90 % of the work area; a larger picture
    // starts zoomed to fit.
    RECT frame{0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_APPWINDOW);
    const int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
    const int maxWidth = (work.right - work.left) * 9 / 10 - frameWidth;
    const int maxHeight = (work.bottom - work.top) * 9 / 10 - frameHeight - stripHeight;
    const int minSide = ::MulDiv(160, dpi_, 96);
    const long w = document_.Width(), h = document_.Height();
    double zoom = 1;
    if (w > maxWidth || h > maxHeight)
        zoom = std::min(static_cast<double>(maxWidth) / w, static_cast<double>(maxHeight) / h);
    const int viewWidth = std::max(minSide, static_cast<int>(w * zoom + 0.999));
    const int viewHeight = std::max(minSide, static_cast<int>(h * zoom + 0.999));
    const int clientWidth = std::min(std::max(viewWidth, strip_->NeededWidth()),
                                     std::max(maxWidth, strip_->NeededWidth()));
    const int width = std::min<int>(clientWidth + frameWidth, work.right - work.left);
    const int height = std::min<int>(viewHeight + stripHeight + frameHeight, work.bottom - work.top);
    ::SetWindowPos(hwnd(), nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    if (zoom < 1) canvas_->ZoomToFit();
    return true;
}

void MarkupWindow::UpdateTitle() {
    ::SetWindowTextW(hwnd(), ExpandText(L"Mark up – {applicationname}").c_str());
}

void MarkupWindow::Layout() {
    if (!strip_ || !canvas_) return;
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    const int stripHeight = strip_->Height();
    ::SetWindowPos(strip_->hwnd(), nullptr, 0, 0, client.right, stripHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(canvas_->hwnd(), nullptr, 0, stripHeight, client.right,
                   std::max<LONG>(0, client.bottom - stripHeight), SWP_NOZORDER | SWP_NOACTIVATE);
}

COLORREF MarkupWindow::Colour() const { return PaletteColour(colourIndex_); }
int MarkupWindow::LineWidth() const {
    return ::MulDiv(kLineWidths[std::clamp(widthIndex_, 0, kWidthCount - 1)], dpi_, 96);
}

void MarkupWindow::SelectTool(MarkupTool tool) {
    if (canvas_) canvas_->OnToolChanged();
    tool_ = tool;
    if (strip_) strip_->Refresh();
}

void MarkupWindow::SelectColour(int index) {
    colourIndex_ = std::clamp(index, 0, kColourCount - 1);
    RestyleSelection(true);
    if (strip_) strip_->Refresh();
    if (canvas_) ::InvalidateRect(canvas_->hwnd(), nullptr, FALSE);
}

void MarkupWindow::SelectWidth(int index) {
    widthIndex_ = std::clamp(index, 0, kWidthCount - 1);
    RestyleSelection(false);
    if (strip_) strip_->Refresh();
    if (canvas_) ::InvalidateRect(canvas_->hwnd(), nullptr, FALSE);
}

void MarkupWindow::RestyleSelection(bool colour) {
    if (tool_ != MarkupTool::Select || !canvas_) return;
    const size_t index = canvas_->Selected();
    if (index >= document_.Marks().size()) return;
    Mark mark = document_.Marks()[index];
    // Highlights and redactions have no colour or width of their own.
    if (mark.kind == MarkKind::Highlighter || mark.IsRedaction()) return;
    if (colour) {
        if (mark.colour == Colour()) return;
        mark.colour = Colour();
    } else if (mark.kind == MarkKind::Text) {
        if (mark.textSize == widthIndex_) return;
        mark.textSize = widthIndex_;
    } else {
        if (mark.width == LineWidth()) return;
        mark.width = LineWidth();
    }
    if (document_.Replace(index, mark)) OnDocumentChanged();
}

void MarkupWindow::OnDocumentChanged() {
    if (canvas_) canvas_->OnDocumentChanged();
    if (strip_) strip_->Refresh();
}

void MarkupWindow::Undo() {
    if (canvas_) canvas_->EndText(true);
    if (document_.Undo()) OnDocumentChanged();
}

void MarkupWindow::Redo() {
    if (canvas_) canvas_->EndText(true);
    if (document_.Redo()) OnDocumentChanged();
}

void MarkupWindow::Copy() {
    if (canvas_) canvas_->EndText(true);
    const CCaptureImage flattened = document_.Flatten();
    const bool copied = !flattened.IsEmpty() && setup_.options != nullptr &&
                        CopyCaptureToClipboard(*setup_.options, flattened,
                                               setup_.clipboardOwner ? setup_.clipboardOwner : hwnd());
    if (!copied)
        ShowProgramMessage(ExpandText(L"The picture could not be put on the clipboard. Another program may be "
                                      L"using it; try again."),
                           MB_OK | MB_ICONWARNING, hwnd());
}

void MarkupWindow::Done() {
    if (finished_ || asking_) return;
    if (canvas_) {
        canvas_->EndText(true);
        // A crop drawn but not applied is applied: it is what the user sees.
        if (canvas_->HasPendingCrop()) canvas_->OnKey(VK_RETURN);
    }
    CCaptureImage flattened = document_.Flatten();
    if (flattened.IsEmpty()) {
        // Without the flattened picture a redaction could not hide anything:
        // the window stays so that nothing goes out unredacted.
        ShowProgramMessage(ExpandText(L"The marks could not be applied to the picture (not enough memory?). "
                                      L"Nothing was saved; the window stays open."),
                           MB_OK | MB_ICONWARNING, hwnd());
        return;
    }
    image_ = std::move(flattened);
    Finish(MarkupResult::Done);
}

bool MarkupWindow::Discard() {
    if (finished_ || asking_) return false;
    if (canvas_) canvas_->EndText(true);
    if (document_.HasMarks()) {
        asking_ = true;
        const int answer = ShowProgramMessage(ExpandText(L"Discard this capture and its marks?"),
                                              MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, hwnd());
        asking_ = false;
        if (answer != IDYES || finished_) return false;
    }
    Finish(MarkupResult::Discard);
    return true;
}

void MarkupWindow::Finish(MarkupResult result) {
    result_ = result;
    finished_ = true;
    EndModalLoop(static_cast<int>(result));
    ::ShowWindow(hwnd(), SW_HIDE);
}

bool MarkupWindow::OnKey(WPARAM key) {
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const bool shift = ::GetKeyState(VK_SHIFT) < 0;
    if (::GetKeyState(VK_MENU) < 0) return false;
    if (ctrl) {
        switch (key) {
            case 'Z': shift ? Redo() : Undo(); return true;
            case 'Y': Redo(); return true;
            case 'C': Copy(); return true;
            case 'S': Done(); return true;
            case '0':
            case VK_NUMPAD0: canvas_->ZoomToFit(); return true;
            case '1':
            case VK_NUMPAD1: {
                RECT client{};
                ::GetClientRect(canvas_->hwnd(), &client);
                canvas_->SetZoom(1, POINT{client.right / 2, client.bottom / 2});
                return true;
            }
            case VK_OEM_PLUS:
            case VK_ADD: canvas_->ZoomBy(1); return true;
            case VK_OEM_MINUS:
            case VK_SUBTRACT: canvas_->ZoomBy(-1); return true;
            default: return false;
        }
    }
    switch (key) {
        case 'V': SelectTool(MarkupTool::Select); return true;
        case 'R': SelectTool(MarkupTool::Rectangle); return true;
        case 'A': SelectTool(MarkupTool::Arrow); return true;
        case 'H': SelectTool(MarkupTool::Highlighter); return true;
        case 'T': SelectTool(MarkupTool::Text); return true;
        case 'N': SelectTool(MarkupTool::Step); return true;
        case 'X':
            SelectTool(tool_ == MarkupTool::RedactBlack ? MarkupTool::RedactPixelate : MarkupTool::RedactBlack);
            return true;
        case 'C': SelectTool(MarkupTool::Crop); return true;
        case VK_RETURN: Done(); return true;
        case VK_ESCAPE:
            if (tool_ != MarkupTool::Select)
                SelectTool(MarkupTool::Select);
            else
                Discard();
            return true;
        default: break;
    }
    if (key >= '1' && key < '1' + kColourCount) {
        SelectColour(static_cast<int>(key - '1'));
        return true;
    }
    if (key >= '7' && key <= '9') {
        SelectWidth(static_cast<int>(key - '7'));
        return true;
    }
    return false;
}

LRESULT MarkupWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE: Layout(); return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = POINT{::MulDiv(320, dpi_, 96), ::MulDiv(240, dpi_, 96)};
            return 0;
        }
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            if (strip_) strip_->LayoutFor(dpi_);
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            Layout();
            return 0;
        }
        case WM_SETFOCUS:
            if (canvas_ && canvas_->hwnd()) ::SetFocus(canvas_->hwnd());
            return 0;
        case WM_KEYDOWN:
            if (OnKey(wParam)) return 0;
            break;
        case WM_CLOSE: Discard(); return 0;
        case WM_QUERYENDSESSION: return TRUE;
        default: break;
    }
    return Default(message, wParam, lParam);
}
