#include "uikit/CorvaneApp.h"

#include "platform/FileSystem.h"

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
    // The help is in the language the texts are shown in, the one the user
    // chose in the options, whatever the language of Windows; before any
    // language is loaded, the user's locale decides.
    const uint16_t language = m_textCatalog ? m_textCatalog->GetLanguageId() : TextCatalog::kNoLanguage;
    return GetHelpFolderForLanguage(platform::GetProgramFolder(), language);
}
