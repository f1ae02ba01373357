#pragma once
// The support-information dialog ("supportinfo"): the summary of this
// system in its "info" field, with translated labels, and a "send" button
// that hands the summary (labels as written) to the user's mail program.
#include "shellutil/SupportInfo.h"
#include "uikit/XmlDialog.h"

class CSupportInfoDialog : public XmlDialog {
public:
    explicit CSupportInfoDialog(HWND parent, std::wstring fileName = L"commonui.xml")
        : XmlDialog(parent, L"supportinfo", std::move(fileName)) {}

    // The mail as the "send" button hands it over.
    SupportMail Mail() const;
    // The summary lines' labels, translated (the dialog) or as written.
    static std::wstring Label(const std::wstring& key, bool translate);

protected:
    void OnInitDialog() override;
    void OnButton(WORD id) override;
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void AlignValues(HWND info, const std::wstring& text);

    std::vector<SummaryLine> facts_;
};
