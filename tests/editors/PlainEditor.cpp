// A stand-in image editor that only notes how it was started.
#include "EditorLog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    AppendToEditorLog(std::wstring(L"start ") + ::GetCommandLineW());
    return 0;
}
