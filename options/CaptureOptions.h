#pragma once
// The application's options: the options document plus the run-time
// properties (never saved), the capture profiles and the hot-key table.
#include "options/OptionsDocument.h"
#include "platform/Variant.h"

#include <map>
#include <string>

// Capture modes, equal to the tray menu's command identifiers.
enum CaptureMode : long {
    kCaptureModeFullScreen = 132,
    kCaptureModeWindow = 133,
    kCaptureModeTopWindows = 134,
    kCaptureModeRectangle = 135,
};

class CaptureOptions : public OptionsDocument {
public:
    // Loads the per-user options (raises OptionsError) and starts in window
    // capture mode.
    CaptureOptions();

    // A key not yet present is added with an empty value.
    bool GetProperty(const std::wstring& key, platform::Variant& value);
    bool SetProperty(const std::wstring& key, const platform::Variant& value);

    // A profile option for the capture now running: the profile follows the
    // "CaptureMode" property unless "MultipleCaptureProfiles" is "0".
    std::wstring GetCaptureOption(const std::wstring& key);
    // One option of one profile; "<ByDefault>" reads "DefaultProfile".
    std::wstring GetProfileOption(const std::wstring& profile, const std::wstring& key) const;
    // Returns false when the profile or the key is missing.
    bool SetProfileOption(const std::wstring& profile, const std::wstring& key, const std::wstring& value);

    std::wstring GetHotKeyValue(const std::wstring& name) const;
    // Returns false when the name is not in the hot-key table.
    bool SetHotKeyValue(const std::wstring& name, const std::wstring& value);

    // The profile that a capture mode reads.
    static const wchar_t* ProfileNameForMode(long mode);

private:
    pugi::xml_node ProfileOptionElement(const std::wstring& profile, const std::wstring& key) const;
    pugi::xml_node HotKeyElement(const std::wstring& name) const;

    std::map<std::wstring, platform::Variant> m_properties;
};
