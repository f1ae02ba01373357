#include "shellutil/OpenWith.h"

#include "platform/UniqueHandle.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <optional>

namespace {

// Registry texts longer than this are hostile, not commands.
constexpr DWORD kMaxValueChars = 32768;
// A file type's extension is short; a longer "extension" is not one.
constexpr size_t kMaxExtensionChars = 16;

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    platform::UniqueHkey key;
    return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// A text value (REG_SZ or REG_EXPAND_SZ, unexpanded); nothing when the key
// or the value is missing or holds something else. name nullptr: the
// key's default value.
std::optional<std::wstring> ReadText(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    platform::UniqueHkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    if (bytes > kMaxValueChars * sizeof(wchar_t)) return std::nullopt;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD read = bytes;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &read) !=
        ERROR_SUCCESS)
        return std::nullopt;
    // The stored text need not end with a zero.
    text.resize(std::min<size_t>(read / sizeof(wchar_t), text.size()));
    if (const size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
    return text;
}

bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* name) {
    platform::UniqueHkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    return ::RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    platform::UniqueHkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD length = 256;
        const LONG result = ::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) continue;  // longer than any key name may be
        if (result != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// Where the program part of a command ends.
size_t ProgramPartEnd(const std::wstring& command) {
    if (!command.empty() && command[0] == L'"') {
        const size_t close = command.find(L'"', 1);
        return close == std::wstring::npos ? command.size() : close + 1;
    }
    const std::wstring lower = Lower(command);
    if (const size_t exe = lower.find(L".exe"); exe != std::wstring::npos) return exe + 4;
    const size_t blank = command.find(L' ');
    return blank == std::wstring::npos ? command.size() : blank;
}

std::wstring Trim(const std::wstring& text, const wchar_t* what = L" ") {
    const size_t first = text.find_first_not_of(what);
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(what) - first + 1);
}

// The program of a command as a plain path: no quotes, no blanks around.
std::wstring UnquotedProgram(const std::wstring& command) {
    std::wstring program = GetCommandExecutable(command);
    while (!program.empty() && (program.back() == L' ' || program.back() == L'"')) program.pop_back();
    if (!program.empty() && program.front() == L'"') program.erase(0, 1);
    return program;
}

std::wstring FileNameOf(const std::wstring& path) { return ::PathFindFileNameW(path.c_str()); }

// The version description of a program: the first language of its table.
std::wstring FileDescription(const std::wstring& program) {
    if (program.empty()) return {};
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(program.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(program.c_str(), 0, size, block.data())) return {};
    struct Translation {
        WORD language, codePage;
    };
    Translation* translations = nullptr;
    UINT bytes = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                          &bytes) ||
        translations == nullptr || bytes < sizeof(Translation))
        return {};
    wchar_t query[64];
    swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileDescription", translations[0].language,
             translations[0].codePage);
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&text), &length) || text == nullptr ||
        length == 0)
        return {};
    std::wstring description(text, wcsnlen(text, std::min<UINT>(length, MAX_PATH)));
    return description;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(bytes, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr,
                          nullptr);
    return out;
}

// The friendly name, logging each step when a log is given.
template <typename Log>
std::wstring FriendlyName(const std::wstring& className, Log&& log) {
    log(L"  FindFriendlyName: ClassName: " + className);
    const std::wstring command = GetClassCommand(className);
    if (command.empty()) return {};
    if (std::optional<std::wstring> cached = ReadText(HKEY_CLASSES_ROOT, className + L"\\shell", L"FriendlyCache");
        cached && !cached->empty()) {
        log(L"    Found: FriendlyCache: " + *cached);
        return *cached;
    }
    log(L" FindFriendlyName: Command: " + command);
    std::wstring program = UnquotedProgram(command);
    if (Lower(FileNameOf(program)).find(L"rundll") != std::wstring::npos) {
        // The system's host runs a module named in its first argument.
        const std::wstring arguments = Trim(GetCommandArguments(command));
        const size_t comma = arguments.find(L',');
        program = comma == std::wstring::npos ? std::wstring() : Trim(arguments.substr(0, comma), L" \"");
    }
    log(L" FindFriendlyName: FilePath: " + program);
    const std::wstring fileName = FileNameOf(program);
    log(L"    filename: " + fileName);
    if (program.empty()) return {};
    if (std::optional<std::wstring> cached =
            ReadText(HKEY_CLASSES_ROOT, L"Applications\\" + fileName + L"\\shell", L"FriendlyCache");
        cached && !cached->empty())
        return *cached;
    if (std::wstring description = FileDescription(program); !description.empty()) return description;
    const size_t dot = fileName.rfind(L'.');
    return dot == std::wstring::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace

std::wstring ExpandEnvironmentPairs(const std::wstring& text) {
    std::wstring result = text;
    size_t from = 0;
    // Each reference is replaced once; a value is not searched again, so a
    // variable that names itself cannot loop.
    for (int replaced = 0; replaced < 64 && result.size() < kMaxValueChars;) {
        const size_t open = result.find(L'%', from);
        if (open == std::wstring::npos) break;
        const size_t close = result.find(L'%', open + 1);
        if (close == std::wstring::npos) break;
        const std::wstring name = result.substr(open + 1, close - open - 1);
        std::wstring value(kMaxValueChars, L'\0');
        const DWORD length = name.empty() ? 0 : ::GetEnvironmentVariableW(name.c_str(), value.data(), kMaxValueChars);
        if (length == 0 || length >= kMaxValueChars) {
            from = close;  // not a reference: its closing sign may open the next
            continue;
        }
        result.replace(open, close - open + 1, value.data(), length);
        from = open + length;
        ++replaced;
    }
    return result;
}

std::wstring GetClassCommand(const std::wstring& className) {
    if (className.empty() || !KeyExists(HKEY_CLASSES_ROOT, className)) return {};
    if (ValueExists(HKEY_CLASSES_ROOT, className, L"NoOpenWith")) return {};
    std::optional<std::wstring> command = ReadText(HKEY_CLASSES_ROOT, className + L"\\shell\\open\\command");
    if (!command || command->empty()) command = ReadText(HKEY_CLASSES_ROOT, className + L"\\shell\\edit\\command");
    return command ? ExpandEnvironmentPairs(*command) : std::wstring();
}

std::wstring GetCommandExecutable(const std::wstring& command) {
    std::wstring program = Trim(command.substr(0, ProgramPartEnd(command)));
    const bool quoted = program.find(L'"') != std::wstring::npos;
    if (program.find(L' ') != std::wstring::npos) {
        if (!quoted) program = L"\"" + program + L"\"";
    } else if (quoted) {
        program.erase(std::remove(program.begin(), program.end(), L'"'), program.end());
    }
    return program;
}

std::wstring GetCommandArguments(const std::wstring& command) { return command.substr(ProgramPartEnd(command)); }

std::wstring GetCommandExecutableName(const std::wstring& command) {
    std::wstring name = FileNameOf(GetCommandExecutable(command));
    while (!name.empty() && (name.back() == L' ' || name.back() == L'"')) name.pop_back();
    return name;
}

std::wstring FindFriendlyName(const std::wstring& className) {
    return FriendlyName(className, [](const std::wstring&) {});
}

bool BuildEditorCommandLine(const std::wstring& className, const std::wstring& filePath, std::wstring& program,
                            std::wstring& arguments) {
    const std::wstring command = GetClassCommand(className);
    program = GetCommandExecutable(command);
    arguments = GetCommandArguments(command);
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(filePath.c_str(), shortPath, MAX_PATH);
    const std::wstring file = length == 0 || length >= MAX_PATH ? filePath : std::wstring(shortPath, length);
    arguments = ReplaceFilePlaceholder(arguments, file);
    return true;
}

std::wstring ReplaceFilePlaceholder(std::wstring command, const std::wstring& file) {
    for (size_t at = command.find(L"%1"); at != std::wstring::npos; at = command.find(L"%1", at + file.size()))
        command.replace(at, 2, file);
    return command;
}

std::optional<std::wstring> ReadClassesRootText(const std::wstring& path, const wchar_t* name) {
    return ReadText(HKEY_CLASSES_ROOT, path, name);
}

bool ClassesRootKeyExists(const std::wstring& path) { return KeyExists(HKEY_CLASSES_ROOT, path); }

// The decisions of one search, written while it runs.
class OpenWithList::Log {
public:
    explicit Log(const std::wstring& extension) {
        ::QueryPerformanceFrequency(&frequency_);
        ::QueryPerformanceCounter(&start_);
        wchar_t folder[MAX_PATH + 1] = {};
        const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
        if (length == 0 || length > MAX_PATH) return;
        // Text mode: each line ends as the platform's text files do.
        file_ = _wfopen((std::wstring(folder) + extension + L"log.txt").c_str(), L"wt");
    }
    ~Log() {
        if (file_) std::fclose(file_);
    }
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    // Each line goes to the file, and with the time since the search began
    // to a debugger, where a slow registry shows.
    void operator()(const std::wstring& line) {
        const std::string text = Utf8(line);
        if (file_) std::fprintf(file_, "%s\n", text.c_str());
        LARGE_INTEGER now{};
        ::QueryPerformanceCounter(&now);
        const double seconds =
            frequency_.QuadPart > 0 ? double(now.QuadPart - start_.QuadPart) / double(frequency_.QuadPart) : 0.0;
        char timed[512];
        std::snprintf(timed, sizeof(timed), "%f (seconds) : %.480s\n", seconds, text.c_str());
        ::OutputDebugStringA(timed);
    }

private:
    FILE* file_ = nullptr;
    LARGE_INTEGER frequency_{}, start_{};
};

bool IsPlainExtension(const std::wstring& extension) {
    if (extension.empty() || extension.size() > kMaxExtensionChars) return false;
    return std::all_of(extension.begin(), extension.end(), [](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
    });
}

void OpenWithList::BuildOpenWithList(const std::wstring& extension, bool skipSelf) {
    entries_.clear();
    extension_ = extension;
    // The extension comes from the "Name" of an options element and names
    // the log file: anything but letters and digits (".\..\x", a stream, a
    // drive) would put the log elsewhere, and names no file type anyway.
    if (!IsPlainExtension(extension)) return;
    Log log(extension);
    const std::wstring type = Lower(extension.size() > 3 ? extension.substr(extension.size() - 3) : extension);
    const std::wstring typeKey = L"." + type;

    // The type's default application.
    if (KeyExists(HKEY_CLASSES_ROOT, typeKey)) {
        log(L"Found: HKCR\\" + typeKey);
        const std::wstring progId = ReadText(HKEY_CLASSES_ROOT, typeKey).value_or(std::wstring());
        const std::wstring commandKey = progId + L"\\shell\\open\\command";
        if (!progId.empty() && KeyExists(HKEY_CLASSES_ROOT, commandKey)) {
            log(L"Found: HKCR\\" + commandKey);
            if (std::optional<std::wstring> command = ReadText(HKEY_CLASSES_ROOT, commandKey)) {
                log(L"Default: " + *command);
                if (KeyExists(HKEY_CLASSES_ROOT, progId + L"\\shell\\open\\ddeexec"))
                    log(L"Found: HKCR\\" + progId + L"\\shell\\open\\ddeexec");
                AddExe(log, GetCommandExecutableName(*command), skipSelf, *command, progId);
            }
        }
    }

    // The programs listed for the type.
    const std::wstring typeList = typeKey + L"\\OpenWithList";
    if (KeyExists(HKEY_CLASSES_ROOT, typeList)) {
        log(L"Found: HKCR\\" + typeList);
        for (const std::wstring& exe : SubkeyNames(HKEY_CLASSES_ROOT, typeList)) AddExe(log, exe, skipSelf, {}, {});
    }

    // The user's recent choices, most recent first.
    const std::wstring recent =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + typeKey + L"\\OpenWithList";
    if (KeyExists(HKEY_CURRENT_USER, recent)) {
        log(L"Found: HKCU\\" + recent);
        const std::wstring order = ReadText(HKEY_CURRENT_USER, recent, L"MRUList").value_or(std::wstring());
        for (const wchar_t letter : order) {
            const wchar_t name[2] = {letter, L'\0'};
            if (std::optional<std::wstring> exe = ReadText(HKEY_CURRENT_USER, recent, name); exe && !exe->empty())
                AddExe(log, *exe, skipSelf, {}, {});
        }
    }
}

void OpenWithList::AddExe(Log& log, const std::wstring& exe, bool skipSelf, std::wstring command,
                          std::wstring className) {
    log(L"AddExe: exename: " + exe);
    log(L"        path:    " + command);
    if (exe.empty()) return;
    const std::wstring lowerExe = Lower(exe);
    for (const OpenWithEntry& entry : entries_) {
        if (entry.m_exe == lowerExe) {
            log(L"  Skip: duplicate");
            return;
        }
    }
    if (skipSelf) {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        if (Lower(self).find(lowerExe) != std::wstring::npos) {
            log(L"  Skip: self");
            return;
        }
    }
    const std::wstring applicationKey = L"Applications\\" + exe;
    if (KeyExists(HKEY_CLASSES_ROOT, applicationKey)) {
        log(L"  Found: HKCR\\" + applicationKey);
        if (ValueExists(HKEY_CLASSES_ROOT, applicationKey, L"NoOpenWith")) {
            log(L"  Skip: NoOpenWith");
            return;
        }
    }
    if (command.empty()) {
        if (className.empty()) className = applicationKey;
        command = GetClassCommand(className);
        if (command.empty()) {
            log(L"  Skip: No Command");
            return;
        }
    }
    OpenWithEntry entry;
    if (!className.empty()) {
        const std::wstring dde = className + L"\\shell\\open\\DDEExec";
        if (std::optional<std::wstring> text = ReadText(HKEY_CLASSES_ROOT, dde)) {
            log(L"  Found: DDE section: " + *text);
            entry.m_DDEExec = *text;
        }
        if (std::optional<std::wstring> text = ReadText(HKEY_CLASSES_ROOT, dde + L"\\Application")) {
            log(L"  Found: DDEExec\\Application " + *text);
            entry.m_DDEApplication = *text;
        }
        if (std::optional<std::wstring> text = ReadText(HKEY_CLASSES_ROOT, dde + L"\\Topic")) {
            log(L"  Found: DDEExec\\Topic " + *text);
            entry.m_DDETopic = *text;
        }
    }
    if (entries_.size() >= kCapacity) return;  // a tenth candidate is not taken
    entry.m_exe = lowerExe;
    entry.m_exepath = ExpandEnvironmentPairs(command);

    // The program must be there, on disk or on the search path.
    const std::wstring program = UnquotedProgram(entry.m_exepath);
    const DWORD attributes = program.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(program.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        log(L"  GetFileAttributes failed: " + program);
        // The search works in place on a buffer of MAX_PATH characters.
        wchar_t found[MAX_PATH] = {};
        if (program.size() < MAX_PATH) program.copy(found, program.size());
        if (program.empty() || program.size() >= MAX_PATH || !::PathFindOnPathW(found, nullptr)) {
            log(L"  Skip: !success");
            return;
        }
        log(L"  PathFindOnPath succeeded: " + std::wstring(found));
        entry.m_exepath = L"\"" + std::wstring(found) + L"\" \"%1\"";
    }
    entry.m_desc = FriendlyName(className, log);
    if (entry.m_desc.empty()) entry.m_desc = exe;
    entry.m_ClassName = className;
    log(L"  m_exe:\t\t\t\t" + entry.m_exe);
    log(L"  m_desc:\t\t\t\t" + entry.m_desc);
    log(L"  m_exepath:\t\t\t" + entry.m_exepath);
    log(L"  m_DDEExec:\t\t\t" + entry.m_DDEExec);
    log(L"  m_DDEApplication:    " + entry.m_DDEApplication);
    log(L"  m_DDETopic:\t\t\t" + entry.m_DDETopic);
    log(L"  m_ClassName:\t\t\t" + entry.m_ClassName);
    entries_.push_back(std::move(entry));
}

std::vector<std::wstring> AllApplicationClasses() {
    std::vector<std::wstring> classes;
    for (const std::wstring& name : SubkeyNames(HKEY_CLASSES_ROOT, L"Applications"))
        classes.push_back(L"Applications\\" + name);
    for (std::wstring& name : SubkeyNames(HKEY_CLASSES_ROOT, L"")) classes.push_back(std::move(name));
    return classes;
}

std::vector<ApplicationGroup> BuildAllApplicationsList(const std::vector<std::wstring>& classNames) {
    std::vector<ApplicationGroup> groups;
    for (const std::wstring& className : classNames) {
        const std::wstring command = GetClassCommand(className);
        if (command.empty()) continue;
        const std::wstring exe = Lower(GetCommandExecutableName(command));
        // Program files run themselves ("%1" %*): no application to offer.
        if (exe.empty() || exe.find(L'%') != std::wstring::npos) continue;
        const auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.exe == exe; });
        if (group != groups.end()) {
            group->classNames.push_back(className);
            continue;
        }
        std::wstring friendly = FindFriendlyName(className);
        if (friendly.empty()) continue;
        groups.push_back(ApplicationGroup{exe, std::move(friendly), {className}});
    }
    return groups;
}
