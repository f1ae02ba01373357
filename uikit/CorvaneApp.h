#pragma once
// The maker library's application base. The program's application class
// overrides these to give the library its identity: names for folders, the
// registry and the text placeholders.
#include "platform/WinApp.h"
#include "uikit/TextCatalog.h"

#include <memory>
#include <string>

class CCorvaneApp : public platform::WinApp {
public:
    // The application object of this process, or nullptr before it exists.
    static CCorvaneApp* Current();

    virtual std::wstring GetProductName() const = 0;
    virtual std::wstring GetCompanyName() const = 0;
    // The settings file, "options.xml", looked for in the per-user data
    // folder and beside the program.
    virtual std::wstring GetOptionsFileName() const = 0;
    // The program file's base name: names the per-user data folder and the
    // file whose version "{version}" shows.
    virtual std::wstring GetAppFileName() const = 0;
    // The product's web page as an HTML anchor, <a href='address'>text</a>,
    // and its purchase page; empty unless the program has them.
    virtual std::wstring GetWebLink() const { return {}; }
    virtual std::wstring GetPurchaseUrl() const { return {}; }
    // The support mail's recipient, and the identification at the end of
    // its subject.
    virtual std::wstring GetSupportAddress() const { return {}; }
    virtual std::wstring GetSupportIdentification() const { return {}; }

    // The help documents (tips pages, "index.htm") of the language the
    // catalog has loaded.
    virtual std::wstring GetHelpFolder() const;

    // The translation table every displayed text goes through. Made on first
    // use, with the product texts from the overrides above, and kept for the
    // life of the application object.
    TextCatalog& GetTextCatalog();

    // The program's modal dialogs, reached from the automation methods; a
    // process without them (one that serves automation only) shows nothing
    // and answers kDialogNotShown, and so does a request for a dialog that
    // is already open.
    static constexpr int kDialogNotShown = -1;
    virtual int ShowAboutDialog() { return kDialogNotShown; }
    virtual int ShowOptionsDialog() { return kDialogNotShown; }
    // Brings the open modal dialog to the foreground; false when none is open.
    virtual bool BringCurrentDialogForward() { return false; }

    // The window that the library's hot-key fields reserve their combinations
    // against (the program's tray window), or nullptr while there is none:
    // the reservations then belong to the user-interface thread.
    virtual HWND GetMainWindow() const { return nullptr; }

private:
    std::unique_ptr<TextCatalog> m_textCatalog;
};
