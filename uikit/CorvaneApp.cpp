#include "uikit/CorvaneApp.h"

#include "shellutil/StandardFolders.h"

CCorvaneApp* CCorvaneApp::Current() {
    return dynamic_cast<CCorvaneApp*>(platform::WinApp::Current());
}

TextCatalog& CCorvaneApp::GetTextCatalog() {
    // Not made in the constructor: the overrides that name the product are
    // not callable before the derived object exists.
    if (!m_textCatalog) {
        m_textCatalog = std::make_unique<TextCatalog>(ProductTexts{GetProductName(), GetCompanyName(),
                                                                   ProgramVersionText(GetAppFileName()),
                                                                   GetPurchaseUrl(), GetWebLink()});
    }
    return *m_textCatalog;
}

std::wstring CCorvaneApp::GetHelpFolder() const {
    return GetDocsFolder(GetProgramFolder(), GetLocaleLanguageName(true));
}
