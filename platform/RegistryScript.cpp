#include "platform/RegistryScript.h"

#include "platform/UniqueHandle.h"

#include <cwctype>

namespace platform {

namespace {

class Parser {
public:
    Parser(const std::wstring& text, const std::map<std::wstring, std::wstring>& variables)
        : text_(text), variables_(variables) {}

    std::optional<RegistryScript> Parse() {
        RegistryScript script;
        while (SkipSpace()) {
            std::wstring name;
            if (!Token(name)) return std::nullopt;
            const std::optional<HKEY> root = RootKey(name);
            if (!root || !Expect(L'{')) return std::nullopt;
            RegistryScript::Root r{*root, {}};
            if (!Keys(r.subkeys)) return std::nullopt;
            script.roots.push_back(std::move(r));
        }
        return script;
    }

private:
    static std::optional<HKEY> RootKey(const std::wstring& name) {
        if (name == L"HKCR" || name == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
        if (name == L"HKCU" || name == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
        if (name == L"HKLM" || name == L"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
        return std::nullopt;
    }

    // Skips blanks; false at the end of the text.
    bool SkipSpace() {
        while (pos_ < text_.size() && std::iswspace(text_[pos_])) ++pos_;
        return pos_ < text_.size();
    }

    bool Expect(wchar_t c) {
        if (!SkipSpace() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    bool Peek(wchar_t c) { return SkipSpace() && text_[pos_] == c; }

    // A quoted ('...', '' for a quote) or bare name, with variables replaced.
    bool Token(std::wstring& out) {
        out.clear();
        if (!SkipSpace()) return false;
        std::wstring raw;
        if (text_[pos_] == L'\'') {
            ++pos_;
            for (;;) {
                if (pos_ >= text_.size()) return false;
                if (text_[pos_] == L'\'') {
                    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == L'\'') {
                        raw += L'\'';
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    break;
                }
                raw += text_[pos_++];
            }
        } else {
            while (pos_ < text_.size() && !std::iswspace(text_[pos_]) && text_[pos_] != L'{' &&
                   text_[pos_] != L'}' && text_[pos_] != L'=' && text_[pos_] != L'\'')
                raw += text_[pos_++];
            if (raw.empty()) return false;
        }
        return Substitute(raw, out);
    }

    bool Substitute(const std::wstring& raw, std::wstring& out) {
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != L'%') {
                out += raw[i];
                continue;
            }
            const size_t end = raw.find(L'%', i + 1);
            if (end == std::wstring::npos) return false;
            if (end == i + 1) {
                out += L'%';
            } else {
                auto found = variables_.find(raw.substr(i + 1, end - i - 1));
                if (found == variables_.end()) return false;
                out += found->second;
            }
            i = end;
        }
        return true;
    }

    // "= s 'text'" or "= d number".
    bool ValueData(RegistryScriptValue& value) {
        std::wstring type, data;
        if (!Expect(L'=') || !Token(type) || !Token(data)) return false;
        if (type == L"s") {
            value.text = data;
            return true;
        }
        if (type == L"d") {
            wchar_t* end = nullptr;
            const unsigned long number = std::wcstoul(data.c_str(), &end, 0);
            if (data.empty() || *end != L'\0') return false;
            value.isDword = true;
            value.number = static_cast<DWORD>(number);
            return true;
        }
        return false;
    }

    // Entries up to and including the closing brace.
    bool Keys(std::vector<RegistryScriptKey>& keys, RegistryScriptKey* owner = nullptr) {
        // Nesting deeper than any registration needs is refused rather than
        // followed down the stack.
        if (++depth_ > 64) return false;
        for (;;) {
            if (!SkipSpace()) return false;
            if (text_[pos_] == L'}') {
                ++pos_;
                --depth_;
                return true;
            }
            std::wstring word;
            if (!Token(word)) return false;
            if (word == L"val") {
                RegistryScriptValue value;
                if (owner == nullptr || !Token(value.name) || !ValueData(value)) return false;
                owner->values.push_back(std::move(value));
                continue;
            }
            RegistryScriptKey key;
            if (word == L"NoRemove" || word == L"ForceRemove") {
                key.removal = word == L"NoRemove" ? RegistryScriptKey::Removal::NoRemove
                                                  : RegistryScriptKey::Removal::ForceRemove;
                if (!Token(word)) return false;
            }
            if (word.empty()) return false;
            key.name = word;
            if (Peek(L'=')) {
                RegistryScriptValue value;
                if (!ValueData(value)) return false;
                key.values.push_back(std::move(value));
            }
            if (Peek(L'{')) {
                ++pos_;
                if (!Keys(key.subkeys, &key)) return false;
            }
            keys.push_back(std::move(key));
        }
    }

    const std::wstring& text_;
    const std::map<std::wstring, std::wstring>& variables_;
    size_t pos_ = 0;
    int depth_ = 0;
};

bool WriteValue(HKEY key, const RegistryScriptValue& value) {
    const wchar_t* name = value.name.empty() ? nullptr : value.name.c_str();
    if (value.isDword)
        return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                                sizeof(DWORD)) == ERROR_SUCCESS;
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                            static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool ApplyKey(HKEY parent, const RegistryScriptKey& key) {
    if (key.removal == RegistryScriptKey::Removal::ForceRemove) {
        const LSTATUS gone = ::RegDeleteTreeW(parent, key.name.c_str());
        if (gone != ERROR_SUCCESS && gone != ERROR_FILE_NOT_FOUND) return false;
    }
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &raw, nullptr) !=
        ERROR_SUCCESS)
        return false;
    UniqueHkey opened(raw);
    bool ok = true;
    for (const auto& value : key.values) ok = WriteValue(opened.get(), value) && ok;
    for (const auto& subkey : key.subkeys) ok = ApplyKey(opened.get(), subkey) && ok;
    return ok;
}

bool RemoveKey(HKEY parent, const RegistryScriptKey& key) {
    if (key.removal != RegistryScriptKey::Removal::NoRemove) {
        const LSTATUS gone = ::RegDeleteTreeW(parent, key.name.c_str());
        return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
    }
    HKEY raw = nullptr;
    const LSTATUS open = ::RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, &raw);
    if (open == ERROR_FILE_NOT_FOUND) return true;
    if (open != ERROR_SUCCESS) return false;
    UniqueHkey opened(raw);
    bool ok = true;
    for (const auto& value : key.values) {
        if (value.name.empty()) continue;
        const LSTATUS gone = ::RegDeleteValueW(opened.get(), value.name.c_str());
        ok = (gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND) && ok;
    }
    for (const auto& subkey : key.subkeys) ok = RemoveKey(opened.get(), subkey) && ok;
    return ok;
}

}  // namespace

std::optional<RegistryScript> ParseRegistryScript(const std::wstring& text,
                                                  const std::map<std::wstring, std::wstring>& variables) {
    return Parser(text, variables).Parse();
}

bool ApplyRegistryScript(const RegistryScript& script) {
    bool ok = true;
    for (const auto& root : script.roots)
        for (const auto& key : root.subkeys) ok = ApplyKey(root.key, key) && ok;
    return ok;
}

bool RemoveRegistryScript(const RegistryScript& script) {
    bool ok = true;
    for (const auto& root : script.roots)
        for (const auto& key : root.subkeys) ok = RemoveKey(root.key, key) && ok;
    return ok;
}

std::optional<std::wstring> LoadRegistryScriptResource(HMODULE module, int id) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
    if (found == nullptr) return std::nullopt;
    const DWORD size = ::SizeofResource(module, found);
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    if (data == nullptr) return std::nullopt;
    std::wstring text(size, L'\0');
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, data, static_cast<int>(size), text.data(),
                                        static_cast<int>(text.size()));
    text.resize(n > 0 ? n : 0);
    return text;
}

}  // namespace platform
