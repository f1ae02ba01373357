#include "app/ConfigurationWizard.h"

#include "options/CaptureOptions.h"
#include "platform/FileSystem.h"
#include "platform/Window.h"
#include "shellutil/OpenWith.h"
#include "shellutil/StandardFolders.h"
#include "uikit/HookedHotKeyCtrl.h"
#include "uikit/MessageBox.h"
#include "uikit/TextCatalog.h"
#include "uikit/XmlDialog.h"

#include <shellapi.h>

#include <utility>

namespace {

// The pages by step, in the order of their steps (not of their showing).
constexpr const wchar_t* kPages[] = {L"configkey", L"configoptions", L"configfolder", L"configaction", L"finish"};
constexpr int kKeyStep = 0, kOptionsStep = 1, kFolderStep = 2, kActionStep = 3, kFinishStep = 4;

// One page: its check boxes, path and prompt show the answers so far, and
// its Next and Back store what the user chose.
class WizardPage : public XmlDialog {
public:
    WizardPage(int step, WizardAnswers& answers, const std::wstring& file)
        : XmlDialog(nullptr, kPages[step], file), step_(step), answers_(answers) {}

    // A page the user can leave forwards and cancel.
    bool IsComplete() const {
        bool next = false, cancel = false;
        ForEachItem(Description().root, [&](const LayoutItem& item) {
            if (const auto* control = dynamic_cast<const LayoutControl*>(&item)) {
                next = next || control->name == L"ok";
                cancel = cancel || control->name == L"cancel";
            }
        });
        return next && cancel;
    }

protected:
    void OnInitDialog() override {
        SetCheck(L"startup", answers_.startup);
        SetCheck(L"hidecursor", answers_.hideCursor);
        SetCheck(L"notify", answers_.notify);
        SetCheck(L"clipboard", answers_.clipboard);
        SetCheck(L"save", answers_.save);
        SetCheck(L"open", answers_.open);
        if (HookedHotKeyCtrl* field = HotKeyFieldByName(L"hotkey"); field && answers_.hotKey)
            field->SetHotKey(answers_.hotKey->virtualKey, RegistrationToFieldModifiers(answers_.hotKey->modifiers));
        if (HWND path = ControlByName(L"path")) {
            ::SetWindowTextW(path, answers_.folder.c_str());
            CheckFolder();
        }
        if (HWND prompt = ControlByName(L"prompt")) {
            const std::wstring key =
                answers_.hotKey ? FormatHotKeyForDisplay(answers_.hotKey->modifiers, answers_.hotKey->virtualKey)
                                : std::wstring();
            ::SetWindowTextW(prompt, FillFirstArgument(platform::WindowText(prompt), key).c_str());
        }
        // The wizard runs before anything else of the program shows.
        ::SetForegroundWindow(hwnd());
    }
    void OnButton(WORD id) override {
        if (id != ConfigurationWizard::kBack) return;
        Store();
        End(ConfigurationWizard::kBack);
    }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
            if (step_ == kActionStep && !AnyAction()) {
                ::MessageBoxW(hwnd(), ExpandText(L"You need to select at least one action type.", true).c_str(),
                              ExpandText(L"Configure $applicationname: action", true).c_str(), MB_OK | MB_ICONSTOP);
                return TRUE;
            }
            Store();
        } else if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE &&
                   reinterpret_cast<HWND>(lParam) == ControlByName(L"path")) {
            CheckFolder();
        }
        return XmlDialog::HandleMessage(message, wParam, lParam);
    }

private:
    void SetCheck(const wchar_t* name, bool checked) const {
        if (HWND box = ControlByName(name)) ::SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    // A page without the box leaves the answer as it was.
    void ReadCheck(const wchar_t* name, bool& answer) const {
        if (ControlByName(name) != nullptr) answer = Checked(name);
    }
    bool Checked(const wchar_t* name) const {
        HWND box = ControlByName(name);
        return box != nullptr && ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    bool AnyAction() const { return Checked(L"clipboard") || Checked(L"save") || Checked(L"open"); }
    // Next only for a folder that exists and takes a file.
    void CheckFolder() const {
        HWND path = ControlByName(L"path");
        if (HWND next = ControlByName(L"ok"); path && next)
            ::EnableWindow(next, IsFolderWritable(platform::WindowText(path)));
    }
    void Store() {
        ReadCheck(L"startup", answers_.startup);
        ReadCheck(L"hidecursor", answers_.hideCursor);
        ReadCheck(L"notify", answers_.notify);
        ReadCheck(L"clipboard", answers_.clipboard);
        ReadCheck(L"save", answers_.save);
        ReadCheck(L"open", answers_.open);
        // Only a folder that passed the check is kept: Back from the folder
        // page with a folder Next refused leaves the last good one.
        if (HWND path = ControlByName(L"path")) {
            const std::wstring folder = platform::WindowText(path);
            if (IsFolderWritable(folder)) answers_.folder = folder;
        }
        if (HookedHotKeyCtrl* field = HotKeyFieldByName(L"hotkey")) {
            WORD key = 0, modifiers = 0;
            field->GetHotKey(key, modifiers);
            answers_.hotKey = key == 0 ? std::nullopt
                                       : std::optional<HotKey>(HotKey{key, FieldToRegistrationModifiers(modifiers)});
        }
    }

    int step_;
    WizardAnswers& answers_;
};

}  // namespace

std::wstring WizardActionText(bool clipboard, bool save, bool open) {
    if (clipboard && open) return L"Save to clipboard,to file and run editor";
    if (clipboard && save) return L"Save to clipboard and file";
    if (clipboard) return L"Save to clipboard";
    if (open) return L"Save to file and run editor";
    return L"Save to file";
}

ConfigurationWizard::ConfigurationWizard(CaptureOptions& options, std::wstring helpFolder, std::wstring pagesFile)
    : options_(options), helpFolder_(std::move(helpFolder)), pagesFile_(std::move(pagesFile)) {
    answers_.folder = GetDocumentsFolder(L"", false);
    answers_.hotKey = ParseHotKeyText(options_.GetHotKeyValue(L"CaptureKey"));
}

int ConfigurationWizard::RunPage(int step) {
    WizardPage page(step, answers_, pagesFile_);
    if (!page.IsComplete()) return -1;
    return static_cast<int>(page.DoModal());
}

ConfigurationWizard::Outcome ConfigurationWizard::Run() {
    // Every page must be there before the first is shown: a wizard that
    // breaks off halfway would leave the user stuck at every start.
    for (int step = kKeyStep; step <= kFinishStep; ++step)
        if (!WizardPage(step, answers_, pagesFile_).IsComplete()) return Outcome::Missing;
    int step = kKeyStep;
    for (;;) {
        const int result = RunPage(step);
        if (result != kNext && result != kBack) return Outcome::Cancelled;
        const bool next = result == kNext;
        switch (step) {
            case kKeyStep: step = kOptionsStep; break;
            case kOptionsStep: step = next ? kActionStep : kKeyStep; break;
            case kActionStep: step = next ? (answers_.save ? kFolderStep : kFinishStep) : kOptionsStep; break;
            case kFolderStep: step = next ? kFinishStep : kActionStep; break;
            default:
                if (next) return WriteAnswers() ? Outcome::Finished : Outcome::NotSaved;
                step = answers_.save ? kFolderStep : kActionStep;
                break;
        }
    }
}

bool ConfigurationWizard::WriteAnswers() {
    options_.SetHotKeyValue(L"CaptureKey", answers_.hotKey ? FormatHotKeyForStorage(answers_.hotKey->modifiers,
                                                                                      answers_.hotKey->virtualKey)
                                                           : std::wstring());
    options_.SetProgramOption(L"HideCursor", answers_.hideCursor ? L"1" : L"0", false);
    options_.SetProgramOption(L"NotifyAfterCapture", answers_.notify ? L"1" : L"0", false);
    options_.SetProfileOption(L"DefaultProfile", L"Action",
                              WizardActionText(answers_.clipboard, answers_.save, answers_.open));
    for (const wchar_t* type : {L".bmp", L".jpg", L".png", L".tif"}) {
        OpenWithList editors;
        editors.BuildOpenWithList(type + 1, true);
        options_.SetProgramOption(type, editors.Entries().empty() ? std::wstring() : editors.Entries().front().m_ClassName,
                                  true);
    }
    options_.SetProfileOption(L"DefaultProfile", L"TargetFolder", platform::WithTrailingBackslash(answers_.folder));
    options_.SetProgramOption(L"AddProgramToStartupGroup", answers_.startup ? L"1" : L"0", false);
    if (!options_.SaveOptions()) {
        // The answers hold for this run only; the program folder's defaults
        // stay as they were, and the next start asks again.
        ShowProgramMessage(FillFirstArgument(ExpandText(L"ConfigNotSaved", true), GetSettingsFilePath(false)),
                           MB_OK | MB_ICONERROR);
        return false;
    }
    if (!helpFolder_.empty())
        ::ShellExecuteW(nullptr, L"open", (platform::WithTrailingBackslash(helpFolder_) + L"index.htm").c_str(), nullptr, nullptr,
                        SW_SHOWNORMAL);
    // The answers become the installation's defaults too, where its folder
    // can be written.
    const std::wstring defaults = GetSettingsFilePath(true);
    if (platform::FileExists(defaults)) platform::CopyFileReplacing(GetSettingsFilePath(false), defaults);
    return true;
}
