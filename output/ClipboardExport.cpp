#include "output/ClipboardExport.h"

#include "options/CaptureOptions.h"
#include "platform/FileSystem.h"
#include "platform/UniqueHandle.h"
#include "shellutil/StandardFolders.h"
#include "uikit/CorvaneApp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

constexpr size_t kBlockCapacity = 1024;
constexpr wchar_t kCopyPrefix[] = L"captureclip";
// The clipboard's copies on disk: the newest stay for the documents that
// were pasted into lately, older ones go when a new one is made.
constexpr size_t kKeptClipboardCopies = 10;

// "HTML Format" is UTF-8 by definition, whatever the system's code page.
// Empty when the text does not fit or holds half a surrogate pair (the
// link would point at another file).
std::optional<std::string> ToUtf8(const std::wstring& text) {
    char buffer[kBlockCapacity];
    const int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.c_str(), -1, buffer,
                                        static_cast<int>(kBlockCapacity), nullptr, nullptr);
    if (n <= 0) return std::nullopt;
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

struct FolderEntry {
    std::wstring name;
    bool folder = false;
};

std::vector<FolderEntry> CopyCandidates(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found{};
    platform::UniqueFind search(::FindFirstFileW((folder + kCopyPrefix + L"*").c_str(), &found));
    if (!search) return entries;
    do {
        entries.push_back({found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileW(search.get(), &found));
    return entries;
}

HGLOBAL GlobalCopy(const void* data, size_t size) {
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr) return nullptr;
    void* target = ::GlobalLock(memory);
    if (target == nullptr) {
        ::GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(target, data, size);
    ::GlobalUnlock(memory);
    return memory;
}

// Hands a block to the clipboard; on failure the block is still ours and
// is freed here.
bool Place(UINT format, HGLOBAL block) {
    if (block == nullptr) return false;
    if (::SetClipboardData(format, block) != nullptr) return true;
    ::GlobalFree(block);
    return false;
}

// The number of one of this program's copies ("captureclip12.png" is 12),
// nothing for any other name.
std::optional<unsigned long> ClipboardCopyNumber(const std::wstring& fileName) {
    const size_t prefix = std::wcslen(kCopyPrefix);
    if (fileName.compare(0, prefix, kCopyPrefix) != 0) return std::nullopt;
    const size_t dot = fileName.find(L'.', prefix);
    if (dot == std::wstring::npos || dot == prefix || dot - prefix > 9) return std::nullopt;
    unsigned long number = 0;
    for (size_t i = prefix; i < dot; ++i) {
        if (!std::iswdigit(fileName[i])) return std::nullopt;
        number = number * 10 + static_cast<unsigned long>(fileName[i] - L'0');
    }
    return number;
}

// The copies older than the newest keep, by their numbers.
std::vector<std::wstring> ClipboardCopiesBeyond(const std::vector<std::wstring>& fileNames, size_t keep) {
    std::vector<std::pair<unsigned long, std::wstring>> copies;
    for (const std::wstring& name : fileNames)
        if (const std::optional<unsigned long> number = ClipboardCopyNumber(name)) copies.emplace_back(*number, name);
    std::sort(copies.begin(), copies.end(), [](const auto& a, const auto& b) { return a > b; });
    std::vector<std::wstring> older;
    for (size_t i = keep; i < copies.size(); ++i) older.push_back(copies[i].second);
    return older;
}

std::wstring NextClipboardCopyPath(const std::wstring& folder, const std::wstring& type) {
    // One past the newest copy, so that a number is never used twice while
    // a document may still show the picture it named.
    unsigned long next = 0;
    for (const FolderEntry& entry : CopyCandidates(folder))
        if (const std::optional<unsigned long> number = ClipboardCopyNumber(entry.name))
            next = std::max(next, *number + 1);
    std::wstring path;
    do {
        path = folder + kCopyPrefix + std::to_wstring(next++) + L"." + type;
    } while (platform::PathExists(path));
    return path;
}

void RemoveOlderClipboardCopies(const std::wstring& folder) {
    std::vector<std::wstring> files;
    for (const FolderEntry& entry : CopyCandidates(folder))
        if (!entry.folder) files.push_back(entry.name);
    for (const std::wstring& name : ClipboardCopiesBeyond(files, kKeptClipboardCopies))
        ::DeleteFileW((folder + name).c_str());
}

}  // namespace

std::optional<std::string> BuildHtmlClipboardBlock(const std::wstring& imagePath, long width, long height) {
    const std::wstring html =
        L"Version:1.0\nStartHTML:cccccccc\nEndHTML:dddddddd\nStartFragment:aaaaaaaa\nEndFragment:bbbbbbbb\n"
        L"<html><head></head><body><!--StartFragment--><div><img src=\"file:///" +
        imagePath + L"\" width=" + std::to_wstring(width) + L" height=" + std::to_wstring(height) +
        L"></div><!--EndFragment-->\n</body></html>";
    std::optional<std::string> block = ToUtf8(html);
    if (!block) return std::nullopt;
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
    // Everything slow happens before the clipboard is opened: the copy is
    // encoded and every block is made while other programs can still use
    // the clipboard.
    const std::wstring type = options.GetCaptureOption(L"TargetType");
    const UINT htmlFormat = ::RegisterClipboardFormatW(L"HTML Format");
    // Chat programs, browsers and office programs paste "PNG" best; an
    // options file that predates the choice gets it too.
    const bool offerPng = options.GetProgramOption(L"ClipboardPng", false) != L"0";
    const UINT pngFormat = offerPng ? ::RegisterClipboardFormatW(L"PNG") : 0;
    std::vector<uint8_t> png;
    const bool encoded = pngFormat != 0 && image.EncodePng(png);
    const std::wstring folder = ClipboardImageFolder();
    const std::wstring path = NextClipboardCopyPath(folder, type);
    // A PNG copy is the clipboard's PNG bytes, encoded once.
    if (encoded && CCaptureImage::FormatFromFileName(path) == kImagePng)
        platform::ReplaceFileContents(path, std::string(png.begin(), png.end()));
    else
        image.SaveToFile(path, CCaptureImage::FormatFromFileName(path));
    HGLOBAL dib = image.CopyToGlobalDIB();
    const std::optional<std::string> block =
        htmlFormat ? BuildHtmlClipboardBlock(path, image.Width(), image.Height()) : std::nullopt;
    HGLOBAL html = block ? GlobalCopy(block->c_str(), block->size() + 1) : nullptr;
    HGLOBAL pngBlock = encoded ? GlobalCopy(png.data(), png.size()) : nullptr;

    const bool opened = ::OpenClipboard(owner) != FALSE;
    if (!opened || !::EmptyClipboard()) {
        if (opened) ::CloseClipboard();
        // Nothing was copied, so nothing points at the copy.
        for (HGLOBAL memory : {dib, html, pngBlock})
            if (memory) ::GlobalFree(memory);
        ::DeleteFileW(path.c_str());
        return false;
    }
    bool placed = Place(CF_DIB, dib);
    placed = Place(htmlFormat, html) && placed;
    if (offerPng) placed = Place(pngFormat, pngBlock) && placed;
    ::CloseClipboard();
    RemoveOlderClipboardCopies(folder);
    return placed;
}
