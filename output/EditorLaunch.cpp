#include "output/EditorLaunch.h"

#include "options/CaptureOptions.h"
#include "output/CaptureImage.h"
#include "shellutil/OpenWith.h"
#include "uikit/CorvaneApp.h"
#include "uikit/MessageBox.h"
#include "uikit/TextCatalog.h"

#include <dde.h>
#include <shellapi.h>

#include <optional>
#include <vector>

namespace {

constexpr int kConnectAttempts = 100;
constexpr DWORD kConnectWaitMs = 1000;
constexpr DWORD kExecuteTimeoutMs = 11000;

HDDEDATA CALLBACK IgnoreEverything(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

std::wstring ExtensionOf(const std::wstring& path) {
    switch (CCaptureImage::FormatFromFileName(path)) {
        case kImageBmp:
            return L".bmp";
        case kImageJpg:
            return L".jpg";
        case kImagePng:
            return L".png";
        case kImageTif:
            return L".tif";
        default:
            return {};
    }
}

std::wstring Unquoted(std::wstring text) {
    while (!text.empty() && text.front() == L'"') text.erase(0, 1);
    while (!text.empty() && text.back() == L'"') text.pop_back();
    return text;
}

}  // namespace

DdeExecInfo GetDdeExecInfo(const std::wstring& className) {
    DdeExecInfo info;
    if (className.empty()) return info;
    const std::wstring key = className + L"\\shell\\open\\ddeexec";
    if (!ClassesRootKeyExists(key)) return info;
    info.command = ReadClassesRootText(key).value_or(std::wstring());
    const std::optional<std::wstring> service = ReadClassesRootText(key + L"\\Application");
    info.service = service.value_or(std::wstring());
    info.topic = ReadClassesRootText(key + L"\\Topic").value_or(std::wstring());
    if (info.topic.empty()) info.topic = L"System";
    info.available = service.has_value();
    return info;
}

DdeProbe ProbeDdeServer(const std::wstring& service, const std::wstring& topic, HWND mainWindow,
                        DWORD hungTimeoutMs) {
    DdeProbe result = DdeProbe::NoServer;
    DWORD instance = 0;
    if (::DdeInitializeW(&instance, IgnoreEverything, APPCMD_CLIENTONLY | CBF_SKIP_CONNECT_CONFIRMS, 0) !=
        DMLERR_NO_ERROR)
        return result;
    HSZ serviceName = ::DdeCreateStringHandleW(instance, service.c_str(), CP_WINUNICODE);
    HSZ topicName = ::DdeCreateStringHandleW(instance, topic.c_str(), CP_WINUNICODE);
    if (serviceName != nullptr && topicName != nullptr) {
        std::vector<HWND> windows;
        ::EnumWindows(
            [](HWND window, LPARAM list) {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&windows));
        // The platform's connect asks every top-level window and waits for
        // each without a limit; a window that does not answer here would
        // hang it.
        const LPARAM names = MAKELPARAM(LOWORD(reinterpret_cast<UINT_PTR>(serviceName)),
                                        LOWORD(reinterpret_cast<UINT_PTR>(topicName)));
        for (HWND window : windows) {
            DWORD_PTR answer = 0;
            ::SetLastError(ERROR_SUCCESS);
            if (::SendMessageTimeoutW(window, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(mainWindow), names, 0,
                                      hungTimeoutMs, &answer) == 0 &&
                ::GetLastError() == ERROR_TIMEOUT) {
                result = DdeProbe::HungWindow;
                break;
            }
        }
        if (result != DdeProbe::HungWindow) {
            if (HCONV conversation = ::DdeConnect(instance, serviceName, topicName, nullptr)) {
                result = DdeProbe::Answered;
                ::DdeDisconnect(conversation);
            }
        }
    }
    if (serviceName) ::DdeFreeStringHandle(instance, serviceName);
    if (topicName) ::DdeFreeStringHandle(instance, topicName);
    ::DdeUninitialize(instance);
    return result;
}

DdeExecuteClient::DdeExecuteClient(const std::wstring& service, const std::wstring& topic, HANDLE process)
    : process_(process) {
    initialised_ = ::DdeInitializeW(&instance_, IgnoreEverything, 0, 0) == DMLERR_NO_ERROR;
    if (!initialised_) return;
    service_ = ::DdeCreateStringHandleW(instance_, service.c_str(), CP_WINUNICODE);
    topic_ = ::DdeCreateStringHandleW(instance_, topic.c_str(), CP_WINUNICODE);
}

DdeExecuteClient::~DdeExecuteClient() {
    if (!initialised_) return;
    if (service_) ::DdeFreeStringHandle(instance_, service_);
    if (topic_) ::DdeFreeStringHandle(instance_, topic_);
    ::DdeUninitialize(instance_);
}

bool DdeExecuteClient::Execute(const std::wstring& commandTemplate, const std::wstring& file) {
    if (!initialised_ || service_ == nullptr || topic_ == nullptr) return false;
    HCONV conversation = nullptr;
    // A just-started editor needs a moment to set up its server: try again
    // while its process runs, a second at a time.
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        conversation = ::DdeConnect(instance_, service_, topic_, nullptr);
        if (conversation != nullptr) break;
        if (process_ == nullptr || ::WaitForSingleObject(process_, kConnectWaitMs) != WAIT_TIMEOUT) break;
    }
    if (conversation == nullptr) return false;
    std::wstring command = ReplaceFilePlaceholder(commandTemplate, file);
    // The platform is of the NT family: the command goes as UTF-16 with its
    // terminating zero.
    ::DdeClientTransaction(reinterpret_cast<BYTE*>(command.data()),
                           static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)), conversation, nullptr, 0,
                           XTYP_EXECUTE, kExecuteTimeoutMs, nullptr);
    ::DdeDisconnect(conversation);
    return true;
}

bool RunImageEditor(CaptureOptions& options, const std::wstring& path) {
    if (path.empty()) return false;
    const std::wstring extension = ExtensionOf(path);
    const std::wstring className = extension.empty() ? std::wstring() : options.GetProgramOption(extension, true);
    std::wstring program, arguments;
    BuildEditorCommandLine(className, path, program, arguments);
    const DdeExecInfo dde = GetDdeExecInfo(className);
    if (program.empty()) {
        std::wstring text = ExpandText(L"NoImageEditingApp", true);
        if (const size_t at = text.find(L"{1}"); at != std::wstring::npos) text.replace(at, 3, extension);
        ShowProgramMessage(text, MB_OK | MB_ICONWARNING);
        return false;
    }
    program = Unquoted(program);

    const CCorvaneApp* app = CCorvaneApp::Current();
    const DdeProbe probe = ProbeDdeServer(dde.service, dde.topic, app ? app->GetMainWindow() : nullptr);
    HANDLE process = nullptr;
    bool reached = probe == DdeProbe::Answered;
    if (probe == DdeProbe::NoServer) {
        SHELLEXECUTEINFOW launch{};
        launch.cbSize = sizeof(launch);
        launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_DOENVSUBST;
        launch.lpFile = program.c_str();
        launch.lpParameters = arguments.c_str();
        launch.nShow = SW_SHOWNORMAL;
        if (::ShellExecuteExW(&launch)) {
            process = launch.hProcess;
            reached = true;
        }
    }
    if (probe != DdeProbe::HungWindow && dde.available) {
        DdeExecuteClient client(dde.service, dde.topic, process);
        reached = client.Execute(dde.command, path) || reached;
    }
    if (process != nullptr) ::CloseHandle(process);
    if (probe == DdeProbe::HungWindow && dde.available)
        ShowProgramMessage(ExpandText(L"DDEConversationFailed", true), MB_OK | MB_ICONWARNING);
    return reached && probe != DdeProbe::HungWindow;
}
