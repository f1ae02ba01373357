// The registrar notation of the registration scripts, against the real
// registry (a scratch key under HKEY_CURRENT_USER).
#include "platform/RegistryScript.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kScratch[] = L"Software\\Veltrane\\SnapwellScriptTest";

std::wstring Read(const std::wstring& key, const wchar_t* value = nullptr) {
    wchar_t data[256] = {};
    DWORD size = sizeof(data);
    const LSTATUS status =
        ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size);
    return status == ERROR_SUCCESS ? data : L"<none>";
}

bool Exists(const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
}

const std::wstring kRoot = std::wstring(L"Software\\Veltrane\\") + L"SnapwellScriptTest";

class RegistryScripts : public testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch); }
};

}  // namespace

TEST_F(RegistryScripts, RegisterWritesEveryKeyAndUnregisterSparesNoRemoveKeys) {
    const auto script = platform::ParseRegistryScript(
        L"HKCU { NoRemove Software { NoRemove Veltrane { NoRemove SnapwellScriptTest {\n"
        L"  NoRemove Shared { val Mine = s '%NAME%' val Theirs = s 'kept?' }\n"
        L"  'Quoted Key' = s 'It''s %NAME% at 100%%' { val Sub = d 42 }\n"
        L"  ForceRemove Fresh { Inner }\n"
        L"} } } }",
        {{L"NAME", L"Snapwell"}});
    ASSERT_TRUE(script);
    // Something already in the ForceRemove key goes; a foreign value in a
    // NoRemove key stays.
    HKEY raw = nullptr;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, (kRoot + L"\\Fresh\\Stale").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                      &raw, nullptr);
    ::RegCloseKey(raw);
    ::RegCreateKeyExW(HKEY_CURRENT_USER, (kRoot + L"\\Shared").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw,
                      nullptr);
    const wchar_t foreign[] = L"other program";
    ::RegSetValueExW(raw, L"Foreign", 0, REG_SZ, reinterpret_cast<const BYTE*>(foreign), sizeof(foreign));
    ::RegCloseKey(raw);

    ASSERT_TRUE(platform::ApplyRegistryScript(*script));
    ASSERT_TRUE(platform::ApplyRegistryScript(*script)) << "registering twice is harmless";
    EXPECT_EQ(Read(kRoot + L"\\Shared", L"Mine"), L"Snapwell");
    EXPECT_EQ(Read(kRoot + L"\\Quoted Key"), L"It's Snapwell at 100%");
    DWORD number = 0, size = sizeof(number);
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, (kRoot + L"\\Quoted Key").c_str(), L"Sub", RRF_RT_REG_DWORD,
                             nullptr, &number, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(number, 42u);
    EXPECT_TRUE(Exists(kRoot + L"\\Fresh\\Inner"));
    EXPECT_FALSE(Exists(kRoot + L"\\Fresh\\Stale"));

    ASSERT_TRUE(platform::RemoveRegistryScript(*script));
    EXPECT_TRUE(Exists(kRoot + L"\\Shared")) << "NoRemove keys stay";
    EXPECT_EQ(Read(kRoot + L"\\Shared", L"Mine"), L"<none>") << "their named values go";
    EXPECT_EQ(Read(kRoot + L"\\Shared", L"Foreign"), L"other program");
    EXPECT_FALSE(Exists(kRoot + L"\\Quoted Key"));
    EXPECT_FALSE(Exists(kRoot + L"\\Fresh"));
    EXPECT_TRUE(platform::RemoveRegistryScript(*script)) << "removing what is gone succeeds";
}

TEST_F(RegistryScripts, MalformedScriptsAreRefusedWhole) {
    for (const wchar_t* bad : {L"HKCU { Software", L"HKXX { A }", L"HKCU { A = s }", L"HKCU { A = q 'x' }",
                               L"HKCU { A = s 'unterminated }", L"HKCU { val X = s 'no key' }",
                               L"HKCU { A = s '%UNKNOWN%' }", L"HKCU { A = d 12z }", L"HKCU { A } }"}) {
        EXPECT_FALSE(platform::ParseRegistryScript(bad, {})) << bad;
    }
    std::wstring deep = L"HKCU {";
    for (int i = 0; i < 100000; ++i) deep += L" K {";
    EXPECT_FALSE(platform::ParseRegistryScript(deep, {})) << "deep nesting is refused, not followed";
}
