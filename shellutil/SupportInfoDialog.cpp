#include "shellutil/SupportInfoDialog.h"

#include "uikit/CorvaneApp.h"
#include "uikit/TextCatalog.h"

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
    }
}

void CSupportInfoDialog::OnButton(WORD id) {
    if (id == IdOf(L"send")) {
        SendSupportMail(hwnd(), Mail());
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
