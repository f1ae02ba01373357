#include "app/ServerRegistration.h"

#include "platform/FileSystem.h"
#include "platform/RegistryScript.h"
#include "resources/resource.h"

#include <ShotDeskLib.h>
#include <oleauto.h>

namespace {

std::wstring GuidText(REFGUID guid) {
    wchar_t text[64] = {};
    ::StringFromGUID2(guid, text, 64);
    return text;
}

// The application identity under which the server runs.
constexpr GUID kAppId = {0xD607C87E, 0xBBD5, 0x4F30, {0x8D, 0x46, 0x0F, 0x1B, 0x8C, 0xB0, 0x22, 0xD3}};

bool RunScript(HMODULE module, int id, const std::wstring& modulePath, bool apply) {
    const auto text = platform::LoadRegistryScriptResource(module, id);
    if (!text) return false;
    const auto script = platform::ParseRegistryScript(*text, RegistrationVariables(modulePath));
    if (!script) return false;
    return apply ? platform::ApplyRegistryScript(*script) : platform::RemoveRegistryScript(*script);
}

}  // namespace

std::map<std::wstring, std::wstring> RegistrationVariables(const std::wstring& modulePath) {
    // MODULE is the local server's command line: quoted, so that a folder
    // with spaces (Program Files) is never read as a shorter program name.
    return {{L"MODULE", L"\"" + modulePath + L"\""},
            {L"APPID", GuidText(kAppId)},
            {L"CLSID", GuidText(CLSID_CaptureEngine)},
            {L"LIBID", GuidText(LIBID_ShotDeskLib)}};
}

bool RegisterServer(HMODULE module) {
    const std::wstring path = platform::ModuleFileName(module);
    bool ok = RunScript(module, IDR_SHOTDESK, path, true);
    ok = RunScript(module, IDR_CAPTUREENGINE, path, true) && ok;
    ITypeLib* library = nullptr;
    std::wstring libraryPath = path;
    if (FAILED(::LoadTypeLibEx(libraryPath.c_str(), REGKIND_NONE, &library))) {
        libraryPath = path.substr(0, path.find_last_of(L'.')) + L".tlb";
        if (FAILED(::LoadTypeLibEx(libraryPath.c_str(), REGKIND_NONE, &library))) return false;
    }
    std::wstring helpFolder = platform::FolderOf(path);
    ok = SUCCEEDED(::RegisterTypeLib(library, libraryPath.data(), helpFolder.data())) && ok;
    library->Release();
    return ok;
}

bool UnregisterServer(HMODULE module) {
    const std::wstring path = platform::ModuleFileName(module);
    bool ok = RunScript(module, IDR_SHOTDESK, path, false);
    ok = RunScript(module, IDR_CAPTUREENGINE, path, false) && ok;
    const HRESULT hr = ::UnRegisterTypeLib(LIBID_ShotDeskLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    return (SUCCEEDED(hr) || hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED) && ok;
}
