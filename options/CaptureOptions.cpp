#include "options/CaptureOptions.h"

#include "platform/XmlDom.h"

namespace {

constexpr wchar_t kDefaultProfile[] = L"DefaultProfile";
constexpr wchar_t kByDefault[] = L"<ByDefault>";
constexpr wchar_t kCaptureModeProperty[] = L"CaptureMode";

// The first child element whose "Name" is name.
pugi::xml_node NamedChild(pugi::xml_node parent, const std::wstring& name) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (!platform::HasAttributes(child)) continue;
        const pugi::xml_attribute attribute = child.attribute(L"Name");
        if (attribute && name == attribute.value()) return child;
    }
    return {};
}

pugi::xml_node SingleElement(const pugi::xml_document& doc, const wchar_t* tag) {
    const auto found = platform::ElementsByTagName(doc, tag, 2);
    return found.size() == 1 ? found.front() : pugi::xml_node();
}

bool WriteValue(pugi::xml_node option, const std::wstring& value) {
    pugi::xml_attribute stored = option.attribute(L"Value");
    return stored && stored.set_value(value.c_str());
}

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
    const pugi::xml_node profiles = SingleElement(m_document, L"Profiles");
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
    const pugi::xml_node table = SingleElement(m_document, L"HotKeys");
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
