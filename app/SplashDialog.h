#pragma once
// The start-up picture: the described dialog "splash", which closes by
// itself after three seconds as if OK were pressed. Dismissed by the user
// (Escape), it ends with Cancel, and the start-up ends with it.
#include "uikit/XmlDialog.h"

class CSplashDialog : public XmlDialog {
public:
    static constexpr UINT_PTR kCloseTimer = 42;
    static constexpr UINT kShowMs = 3000;

    CSplashDialog() : XmlDialog(nullptr, L"splash") {}

protected:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};
