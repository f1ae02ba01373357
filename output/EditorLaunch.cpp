#include "output/EditorLaunch.h"

#include "options/CaptureOptions.h"
#include "output/CaptureImage.h"
#include "platform/Window.h"
#include "shellutil/OpenWith.h"
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

// The client window of the probe's own WM_DDE_INITIATE. Every server that
// answers acknowledges to it with atoms of its own; whoever opens a
// conversation ends it, so each one is terminated again and its atoms
// deleted.
class DdeProbeClient : public platform::Window {
public:
    DdeProbeClient() { Create(L"SnapwellDdeProbeClient", 0, 0, L"", 0, RECT{}, HWND_MESSAGE); }
    ~DdeProbeClient() override {
        EndConversations();
        // The servers' replies to the terminations, briefly: a server that
        // replies to a window already gone is not harmed, but one that is
        // waited for can finish its own bookkeeping.
        const ULONGLONG end = ::GetTickCount64() + kTerminateReplyMs;
        while (awaitingReplies_ > 0 && hwnd() != nullptr) {
            const ULONGLONG now = ::GetTickCount64();
            if (now >= end) break;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now),
                                        QS_POSTMESSAGE | QS_SENDMESSAGE);
            MSG msg;
            while (::PeekMessageW(&msg, hwnd(), WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) ::DispatchMessageW(&msg);
            EndConversations();  // a late acknowledgement opened one more
        }
    }

    // Ends every conversation acknowledged so far.
    void EndConversations() {
        for (HWND server : servers_)
            if (::PostMessageW(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(hwnd()), 0)) ++awaitingReplies_;
        servers_.clear();
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_DDE_ACK: {
                // In reply to an initiate the atoms come unpacked, and are the
                // receiver's to delete.
                ::GlobalDeleteAtom(LOWORD(lParam));
                ::GlobalDeleteAtom(HIWORD(lParam));
                servers_.push_back(reinterpret_cast<HWND>(wParam));
                return 0;
            }
            case WM_DDE_TERMINATE:
                if (awaitingReplies_ > 0) --awaitingReplies_;
                return 0;
        }
        return Default(message, wParam, lParam);
    }

private:
    static constexpr DWORD kTerminateReplyMs = 500;
    std::vector<HWND> servers_;
    int awaitingReplies_ = 0;
};

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

DdeProbe ProbeDdeServer(const std::wstring& service, const std::wstring& topic, DWORD hungTimeoutMs) {
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
        // hang it. The initiate names its service and topic by global atoms
        // of its own (a DDEML string handle need not be one), which are
        // deleted once every window was asked.
        DdeProbeClient client;
        const ATOM serviceAtom = ::GlobalAddAtomW(service.c_str());
        const ATOM topicAtom = ::GlobalAddAtomW(topic.c_str());
        for (HWND window : windows) {
            DWORD_PTR answer = 0;
            ::SetLastError(ERROR_SUCCESS);
            const LRESULT sent = ::SendMessageTimeoutW(window, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(client.hwnd()),
                                                       MAKELPARAM(serviceAtom, topicAtom), 0, hungTimeoutMs, &answer);
            client.EndConversations();
            if (sent == 0 && ::GetLastError() == ERROR_TIMEOUT) {
                result = DdeProbe::HungWindow;
                break;
            }
        }
        if (serviceAtom) ::GlobalDeleteAtom(serviceAtom);
        if (topicAtom) ::GlobalDeleteAtom(topicAtom);
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

    const DdeProbe probe = ProbeDdeServer(dde.service, dde.topic);
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
