#include "uikit/MessageBox.h"

#include "uikit/CorvaneApp.h"

int ShowProgramMessage(const std::wstring& text, UINT flags, HWND owner) {
    const CCorvaneApp* app = CCorvaneApp::Current();
    const std::wstring caption = app ? app->GetProductName() : std::wstring();
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags | MB_SETFOREGROUND);
}
