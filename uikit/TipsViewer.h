#pragma once
// The tips viewer of a described dialog ("ui:tips"): the platform's
// web-browser control, hosted in the item's window, showing the help
// folder's tip pages one after the other. A click on the element whose id is
// "NextTips" shows the next page, and after the last the first again. Where
// the browser cannot show a page (no browser engine, a page that fails to
// load) the viewer is disabled and hidden, and the dialog goes on without it.
#include "platform/SubclassedWindow.h"

#include <windows.h>

#include <string>
#include <vector>

class TipsViewer : public platform::SubclassedWindow {
public:
    TipsViewer();
    ~TipsViewer() override;

    // Hosts the browser in the window and shows the first page. False when
    // there is nothing to show or the browser cannot be hosted; the window
    // is then disabled and hidden.
    bool Show(HWND window, std::vector<std::wstring> pages);
    void ShowNextPage();

    bool IsShowing() const { return browser_ != nullptr; }
    const std::vector<std::wstring>& Pages() const { return pages_; }
    size_t CurrentPage() const { return current_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class Site;
    friend class Site;
    // From the browser's events, which must not tear it down themselves.
    static constexpr UINT kFailed = WM_APP + 0x31;
    static constexpr UINT kNextPage = WM_APP + 0x32;

    bool Navigate(const std::wstring& page);
    void StepAside();
    void Release();

    Site* site_ = nullptr;
    struct IWebBrowser2* browser_ = nullptr;
    struct IOleObject* object_ = nullptr;
    unsigned long adviseCookie_ = 0;
    bool oleInitialised_ = false;
    std::vector<std::wstring> pages_;
    size_t current_ = 0;
};

// The tip pages: every "*.html" file of the "tips" folder of the help
// folder, directories, hidden and system files left out, as full paths in an
// order shuffled with the seed. Empty without that folder.
std::vector<std::wstring> ListTipPages(const std::wstring& helpFolder, unsigned seed);
