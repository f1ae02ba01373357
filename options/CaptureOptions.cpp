#include "options/CaptureOptions.h"

namespace {

constexpr wchar_t kDefaultProfile[] = L"DefaultProfile";
constexpr wchar_t kByDefault[] = L"<ByDefault>";
constexpr wchar_t kCaptureModeProperty[] = L"CaptureMode";

}  // namespace

CaptureOptions::CaptureOptions() : OptionsDocument(true) {
    m_properties[kCaptureModeProperty] = platform::Variant(static_cast<long>(kCaptureModeWindow));
}

bool CaptureOptions::GetProperty(const std::wstring& key, platform::Variant& value) {
    value = m_properties[key];
    return true;
}

bool CaptureOptions::SetProperty(const std::wstring& key, const platform::Variant& value) {
    m_properties[key] = value;
    return true;
}

const wchar_t* CaptureOptions::ProfileNameForMode(long mode) {
    switch (mode) {
        case kCaptureModeFullScreen: return L"FullScreenProfile";
        case kCaptureModeWindow: return L"WindowProfile";
        case kCaptureModeRectangle: return L"RectangleProfile";
        default: return kDefaultProfile;
    }
}

std::wstring CaptureOptions::GetCaptureOption(const std::wstring& key) {
    try {
        platform::Variant mode;
        GetProperty(kCaptureModeProperty, mode);
        if (GetProgramOption(L"MultipleCaptureProfiles", false) == L"0") {
            if (mode.type() == VT_ERROR || mode.type() == VT_BOOL) return {};
            mode = platform::Variant(-1L);
        } else if (mode.type() != VT_I4) {
            return {};
        }
        return GetProfileOption(ProfileNameForMode(mode.get().lVal), key);
    } catch (...) {
        return {};
    }
}

pugi::xml_node CaptureOptions::ProfileOptionElement(const std::wstring& profile, const std::wstring& key) const {
    const pugi::xml_node profiles = SingleElement(L"Profiles");
    if (!profiles) return {};
    const pugi::xml_node named = NamedChild(profiles, profile);
    return named ? NamedChild(named, key) : pugi::xml_node();
}

std::wstring CaptureOptions::GetProfileOption(const std::wstring& profile, const std::wstring& key) const {
    try {
        const pugi::xml_node option = ProfileOptionElement(profile, key);
        if (!option) return {};
        const std::wstring value = ValueToItemName(option, option.attribute(L"Value").value());
        if (value == kByDefault && profile != kDefaultProfile) return GetProfileOption(kDefaultProfile, key);
        return value;
    } catch (...) {
        return {};
    }
}

bool CaptureOptions::SetProfileOption(const std::wstring& profile, const std::wstring& key, const std::wstring& value) {
    try {
        const pugi::xml_node option = ProfileOptionElement(profile, key);
        return option && WriteValue(option, ItemNameToValue(option, value));
    } catch (...) {
        return false;
    }
}

pugi::xml_node CaptureOptions::HotKeyElement(const std::wstring& name) const {
    const pugi::xml_node table = SingleElement(L"HotKeys");
    return table ? NamedChild(table, name) : pugi::xml_node();
}

std::wstring CaptureOptions::GetHotKeyValue(const std::wstring& name) const {
    try {
        return HotKeyElement(name).attribute(L"Value").value();
    } catch (...) {
        return {};
    }
}

bool CaptureOptions::SetHotKeyValue(const std::wstring& name, const std::wstring& value) {
    try {
        const pugi::xml_node option = HotKeyElement(name);
        return option && WriteValue(option, ItemNameToValue(option, value));
    } catch (...) {
        return false;
    }
}
