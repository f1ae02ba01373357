#include "output/PostProcessing.h"

#include "options/CaptureOptions.h"
#include "output/ClipboardExport.h"
#include "output/EditorLaunch.h"
#include "output/SaveAsDialog.h"
#include "platform/FileSystem.h"
#include "platform/TraceTimer.h"
#include "uikit/CorvaneApp.h"
#include "uikit/MessageBox.h"

#include <shlwapi.h>

#include <cstdlib>

namespace {

constexpr wchar_t kPromptWhenSaving[] = L"<PromptWhenSaving>";
constexpr wchar_t kErrorSaveToFile[] = L"ErrorSaveToFile";

}  // namespace

CaptureFileNumbering& CaptureFileNumbering::Process() {
    static CaptureFileNumbering numbering;
    return numbering;
}

std::wstring CaptureFileNumbering::MakeUniqueFileName(const std::wstring& prefix, const std::wstring& extension) {
    std::wstring candidate;
    do {
        ++counter_;
        candidate = prefix + std::to_wstring(counter_) + L"." + extension;
    } while (platform::PathExists(candidate));
    return candidate;
}

std::wstring MakeUniqueFileName(const std::wstring& prefix, const std::wstring& extension) {
    return CaptureFileNumbering::Process().MakeUniqueFileName(prefix, extension);
}

void ApplyColorDepth(CaptureOptions& options, CCaptureImage& image) {
    try {
        const std::wstring depth = options.GetCaptureOption(L"ColorDepth");
        if (depth == L"1 bit per pixel Monochrome")
            image.DecreaseBpp(1, true);
        else if (depth == L"8 bits per pixel Grayscale")
            image.GrayScale();
        else if (depth == L"16 bits per pixel Color")
            image.IncreaseBpp(16);
        else if (depth == L"24 bits per pixel Color")
            image.IncreaseBpp(24);
    } catch (...) {
        // The image stays as it was.
    }
}

std::wstring TrimTargetFolder(const std::wstring& folder) {
    size_t begin = folder.find_first_not_of(L' ');
    if (begin == std::wstring::npos) return {};
    size_t end = folder.find_last_not_of(L"\\ ");
    if (end == std::wstring::npos || end < begin) return {};
    return folder.substr(begin, end - begin + 1);
}

std::wstring MakeCaptureFileName(CaptureOptions& options) {
    std::wstring folder = options.GetCaptureOption(L"TargetFolder");
    const std::wstring type = options.GetCaptureOption(L"TargetType");
    const std::wstring prefix = options.GetCaptureOption(L"FileNameTemplatePrefix");
    const bool ask = prefix == kPromptWhenSaving;
    const std::wstring name = ask ? L"Untitled" : prefix;

    folder = TrimTargetFolder(folder);
    std::wstring initial;
    if (folder.empty()) {
        initial = MakeUniqueFileName(name, type);
    } else {
        wchar_t buffer[MAX_PATH] = {};
        if (folder.size() < MAX_PATH && (folder.copy(buffer, MAX_PATH - 1), ::PathAppendW(buffer, name.c_str()))) {
            initial = MakeUniqueFileName(buffer, type);
            if (!ask) return initial;
        } else {
            initial = folder;
        }
    }
    CSaveAsDialog dialog(initial, type);
    return dialog.DoModal() == IDOK ? dialog.GetChosenPath() : std::wstring();
}

std::wstring SaveErrorText() {
    // The language files are data beside the program; when they are missing
    // or lack the entry, the English text still tells the user what to check
    // instead of showing the bare key.
    if (CCorvaneApp* app = CCorvaneApp::Current()) {
        const TextCatalog& catalog = app->GetTextCatalog();
        if (catalog.FindTranslation(kErrorSaveToFile)) return catalog.ExpandText(kErrorSaveToFile, true);
    }
    return L"The capture could not be saved. Check that the folder exists, that you may write to it and that "
           L"the disk has room.";
}

std::wstring SaveCaptureToFile(CaptureOptions& options, const CCaptureImage& image, bool* failed) {
    const std::wstring path = MakeCaptureFileName(options);
    if (path.empty()) return {};
    if (image.SaveToFile(path, CCaptureImage::FormatFromFileName(path))) return path;
    if (failed) *failed = true;
    ShowProgramMessage(path + L"\n" + SaveErrorText(), MB_OK | MB_ICONWARNING);
    return {};
}

int ImagePostProcessing(CaptureOptions& options, CCaptureImage& image, HWND clipboardOwner, CaptureOutcome* outcome,
                        const MarkupRequest& markup) {
    TraceTimer trace(L"CCaptureEngine::ImagePostProcessing");
    CaptureOutcome result;
    const auto save = [&] {
        result.savedPath = SaveCaptureToFile(options, image, &result.failed);
        return result.savedPath;
    };
    const auto copy = [&] { result.copied = CopyCaptureToClipboard(options, image, clipboardOwner); };
    int ran = 1;
    try {
        // The marks go on the full-colour picture; the depth comes after.
        if (markup.handler && (markup.once || options.GetCaptureOption(L"Annotate") == L"1") &&
            markup.handler(image) == MarkupResult::Discard) {
            result.discarded = true;
            if (outcome) *outcome = result;
            return 1;
        }
        ApplyColorDepth(options, image);
        result.width = image.Width();
        // A top-down picture keeps a negative height in its header.
        result.height = std::labs(image.Height());
        const std::wstring action = options.GetCaptureOption(L"Action");
        if (action == L"Save to file") {
            save();
        } else if (action == L"Save to clipboard") {
            copy();
        } else if (action == L"Save to clipboard and file") {
            save();
            copy();
        } else if (action == L"Save to file and run editor") {
            RunImageEditor(options, save());
        } else if (action == L"Save to clipboard,to file and run editor") {
            copy();
            RunImageEditor(options, save());
        }
    } catch (...) {
        ran = 0;
    }
    if (outcome) *outcome = result;
    return ran;
}
