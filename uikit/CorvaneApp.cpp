#include "uikit/CorvaneApp.h"

CCorvaneApp* CCorvaneApp::Current() {
    return dynamic_cast<CCorvaneApp*>(platform::WinApp::Current());
}
