// A stand-in image editor with a DDE server, as editors of old registered
// for the shell's "open": service "SnapwellTestEditor", topic "System". It
// notes its start and every execute command it receives, and ends by itself
// after a minute (or on the execute command "[quit]").
//   --delay <ms>   waits before it offers its service, as a slow editor does
//   --hang         never completes an execute command
#include "EditorLog.h"

#include <ddeml.h>

#include <cwchar>

namespace {

DWORD g_instance = 0;
HSZ g_service = nullptr;
HSZ g_topic = nullptr;
bool g_hang = false;

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ topic, HSZ service, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    switch (type) {
        case XTYP_CONNECT:
            return reinterpret_cast<HDDEDATA>(
                static_cast<UINT_PTR>(::DdeCmpStringHandles(topic, g_topic) == 0 &&
                                      ::DdeCmpStringHandles(service, g_service) == 0));
        case XTYP_EXECUTE: {
            if (g_hang) return CBR_BLOCK;
            const DWORD bytes = ::DdeGetData(data, nullptr, 0, 0);
            std::wstring command(bytes / sizeof(wchar_t) + 1, L'\0');
            ::DdeGetData(data, reinterpret_cast<BYTE*>(command.data()), bytes, 0);
            command.resize(wcsnlen(command.c_str(), command.size()));
            AppendToEditorLog(L"execute " + command);
            if (command == L"[quit]") ::PostQuitMessage(0);
            return reinterpret_cast<HDDEDATA>(static_cast<UINT_PTR>(DDE_FACK));
        }
        default:
            return nullptr;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    AppendToEditorLog(std::wstring(L"start ") + ::GetCommandLineW());
    const std::wstring arguments = commandLine;
    g_hang = arguments.find(L"--hang") != std::wstring::npos;
    if (const size_t delay = arguments.find(L"--delay "); delay != std::wstring::npos)
        ::Sleep(static_cast<DWORD>(_wtoi(arguments.c_str() + delay + 8)));
    if (::DdeInitializeW(&g_instance, Callback, APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_REQUESTS |
                                                    CBF_FAIL_POKES | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                         0) != DMLERR_NO_ERROR)
        return 1;
    g_service = ::DdeCreateStringHandleW(g_instance, L"SnapwellTestEditor", CP_WINUNICODE);
    g_topic = ::DdeCreateStringHandleW(g_instance, L"System", CP_WINUNICODE);
    ::DdeNameService(g_instance, g_service, nullptr, DNS_REGISTER);
    AppendToEditorLog(L"serving");
    ::SetTimer(nullptr, 0, 60000, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) break;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::DdeNameService(g_instance, g_service, nullptr, DNS_UNREGISTER);
    ::DdeFreeStringHandle(g_instance, g_service);
    ::DdeFreeStringHandle(g_instance, g_topic);
    ::DdeUninitialize(g_instance);
    return 0;
}
