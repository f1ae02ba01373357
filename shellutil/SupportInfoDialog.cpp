#include "shellutil/SupportInfoDialog.h"

#include "uikit/CorvaneApp.h"
#include "uikit/TextCatalog.h"

#include <algorithm>
#include <vector>

std::wstring CSupportInfoDialog::Label(const std::wstring& key, bool translate) {
    if (!translate) return ExpandText(key, false);
    // The language files name the product in their keys as $applicationname.
    std::wstring translated = key;
    const std::wstring product = L"{applicationname}";
    if (const size_t at = translated.find(product); at != std::wstring::npos)
        translated.replace(at, product.size(), L"$applicationname");
    return ExpandText(translated, true);
}

SupportMail CSupportInfoDialog::Mail() const {
    const CCorvaneApp* app = CCorvaneApp::Current();
    const std::wstring summary =
        FormatSupportSummary(facts_, [](const std::wstring& key) { return Label(key, false); });
    return BuildSupportMail(app ? app->GetSupportAddress() : std::wstring(),
                            ExpandText(L"{applicationname} Support Info: ", false) +
                                (app ? app->GetSupportIdentification() : std::wstring()),
                            ExpandText(L"<Enter details of the issue here>", true), summary, SupportAttachment());
}

void CSupportInfoDialog::OnInitDialog() {
    facts_ = CollectSupportFacts(ExpandText(L"{applicationname}\t({version})", false));
    if (HWND info = ControlByName(L"info")) {
        const std::wstring text =
            FormatSupportSummary(facts_, [](const std::wstring& key) { return Label(key, true); });
        ::SetWindowTextW(info, text.c_str());
        AlignValues(info, text);
    }
}

// The values start in one column just after the widest label; "Product",
// whose two tabs suit the platform's narrow default stops, reaches the same
// column, and a folder's check result goes to the next wide stop.
void CSupportInfoDialog::AlignValues(HWND info, const std::wstring& text) {
    HDC dc = ::GetDC(info);
    if (dc == nullptr) return;
    const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(info, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find(L"\r\n", start), text.size());
        const size_t colon = text.find(L":\t", start);
        if (colon != std::wstring::npos && colon < end) {
            SIZE extent{};
            ::GetTextExtentPoint32W(dc, text.c_str() + start, static_cast<int>(colon + 1 - start), &extent);
            widest = std::max<int>(widest, extent.cx);
        }
        start = end + 2;
    }
    ::SelectObject(dc, previous);
    ::ReleaseDC(info, dc);
    RECT unit{0, 0, 4, 8};
    ::MapDialogRect(hwnd(), &unit);
    if (widest == 0 || unit.right <= 0) return;
    constexpr int kWideStop = 40;
    const int column = widest * 4 / unit.right + 6;
    std::vector<INT> stops{column, column + 1};
    while (stops.size() < 24) stops.push_back(stops.back() + kWideStop);
    ::SendMessageW(info, EM_SETTABSTOPS, stops.size(), reinterpret_cast<LPARAM>(stops.data()));
    ::InvalidateRect(info, nullptr, TRUE);
}

void CSupportInfoDialog::OnButton(WORD id) {
    if (id == IdOf(L"send")) {
        const CCorvaneApp* app = CCorvaneApp::Current();
        SendSupportMail(hwnd(), Mail(),
                        {app ? app->GetProductName() : std::wstring(), ExpandText(L"SupportMailFailed", true)});
    } else if (id == IdOf(L"close")) {
        End(IDCANCEL);
    }
}

INT_PTR CSupportInfoDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSupportMailDone) {
        ::EnableWindow(hwnd(), TRUE);
        return TRUE;
    }
    return XmlDialog::HandleMessage(message, wParam, lParam);
}
