#include "output/ClipboardExport.h"

#include "options/CaptureOptions.h"
#include "platform/FileSystem.h"
#include "shellutil/StandardFolders.h"
#include "uikit/CorvaneApp.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

constexpr size_t kBlockCapacity = 1024;

// Converts to the ANSI code page; empty when it does not fit or a character
// has no ANSI form (the link would point at another file).
std::optional<std::string> ToAnsi(const std::wstring& text) {
    char buffer[kBlockCapacity];
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, static_cast<int>(kBlockCapacity),
                                        nullptr, &lossy);
    if (n <= 0 || lossy) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n - 1));
}

bool Patch(std::string& block, const char* placeholder, size_t value) {
    const size_t at = block.find(placeholder);
    if (at == std::string::npos) return false;
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%08lu", static_cast<unsigned long>(value));
    block.replace(at, 8, digits, 8);
    return true;
}

void EnsureFolder(const std::wstring& folder) {
    if (!platform::DirectoryExists(folder)) ::CreateDirectoryW(folder.c_str(), nullptr);
}

}  // namespace

std::optional<std::string> BuildHtmlClipboardBlock(const std::wstring& imagePath, long width, long height) {
    const std::wstring html =
        L"Version:1.0\nStartHTML:cccccccc\nEndHTML:dddddddd\nStartFragment:aaaaaaaa\nEndFragment:bbbbbbbb\n"
        L"<html><head></head><body><!--StartFragment--><div><img src=\"file:///" +
        imagePath + L"\" width=" + std::to_wstring(width) + L" height=" + std::to_wstring(height) +
        L"></div><!--EndFragment-->\n</body></html>";
    std::optional<std::string> block = ToAnsi(html);
    if (!block) {
        // A path with characters outside the ANSI code page can still be
        // named by its short form.
        wchar_t shortPath[MAX_PATH];
        const DWORD n = ::GetShortPathNameW(imagePath.c_str(), shortPath, MAX_PATH);
        if (n == 0 || n >= MAX_PATH || imagePath == shortPath) return std::nullopt;
        return BuildHtmlClipboardBlock(shortPath, width, height);
    }
    const size_t startHtml = block->find("<html>"), endHtml = block->find("</html>");
    const size_t startFragment = block->find("<div>"), endFragment = block->find("</div>");
    if (startHtml == std::string::npos || endHtml == std::string::npos || startFragment == std::string::npos ||
        endFragment == std::string::npos)
        return std::nullopt;
    if (!Patch(*block, "cccccccc", startHtml) || !Patch(*block, "dddddddd", endHtml + 7) ||
        !Patch(*block, "aaaaaaaa", startFragment) || !Patch(*block, "bbbbbbbb", endFragment + 6))
        return std::nullopt;
    return block;
}

std::wstring ClipboardImageFolder() {
    const CCorvaneApp* app = CCorvaneApp::Current();
    std::wstring folder = GetTempFolder(false);
    if (folder.empty() || app == nullptr) return folder;
    folder += app->GetCompanyName() + L"\\";
    EnsureFolder(folder);
    folder += app->GetProductName() + L"\\";
    EnsureFolder(folder);
    return folder;
}

bool CopyCaptureToClipboard(CaptureOptions& options, const CCaptureImage& image, HWND owner) {
    if (!::OpenClipboard(owner)) return false;
    if (!::EmptyClipboard()) {
        ::CloseClipboard();
        return false;
    }
    bool placed = true;
    if (HGLOBAL dib = image.CopyToGlobalDIB()) {
        if (::SetClipboardData(CF_DIB, dib) == nullptr) {
            ::GlobalFree(dib);
            placed = false;
        }
    } else {
        placed = false;
    }

    const std::wstring type = options.GetCaptureOption(L"TargetType");
    const UINT htmlFormat = ::RegisterClipboardFormatW(L"HTML Format");
    const std::wstring folder = ClipboardImageFolder();
    std::wstring path;
    for (unsigned n = 0;; ++n) {
        path = folder + L"captureclip" + std::to_wstring(n) + L"." + type;
        if (!platform::PathExists(path)) break;
    }
    image.SaveToFile(path, CCaptureImage::FormatFromFileName(path));

    const std::optional<std::string> block =
        htmlFormat ? BuildHtmlClipboardBlock(path, image.Width(), image.Height()) : std::nullopt;
    HGLOBAL memory = block ? ::GlobalAlloc(GMEM_MOVEABLE, block->size() + 1) : nullptr;
    void* target = memory ? ::GlobalLock(memory) : nullptr;
    if (target != nullptr) {
        std::memcpy(target, block->c_str(), block->size() + 1);
        ::GlobalUnlock(memory);
        if (::SetClipboardData(htmlFormat, memory) == nullptr) {
            ::GlobalFree(memory);
            placed = false;
        }
    } else {
        if (memory) ::GlobalFree(memory);
        placed = false;
    }
    ::CloseClipboard();
    return placed;
}
