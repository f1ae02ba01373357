#include "tests/DialogWatcher.h"

#include <thread>

namespace dialogs {

HWND FindProcessDialog() {
    struct Search {
        DWORD process;
        HWND found;
    } search{::GetCurrentProcessId(), nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            wchar_t cls[32] = {};
            ::GetClassNameW(window, cls, 32);
            if (pid == s->process && ::IsWindowVisible(window) && std::wstring(cls) == L"#32770") {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::future<std::wstring> Answer(std::function<std::wstring(HWND)> act, DWORD timeoutMs) {
    return std::async(std::launch::async, [act, timeoutMs]() -> std::wstring {
        for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
            if (HWND dialog = FindProcessDialog()) {
                ::Sleep(200);  // let it finish initialising
                return act(dialog);
            }
            ::Sleep(50);
        }
        return L"<no dialog>";
    });
}

std::future<std::wstring> AnswerMessageBox() {
    return Answer([](HWND box) {
        wchar_t text[2048] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
        wchar_t caption[256] = {};
        ::GetWindowTextW(box, caption, 256);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        return std::wstring(caption) + L"|" + text;
    });
}

}  // namespace dialogs
