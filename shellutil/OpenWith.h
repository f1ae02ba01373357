#pragma once
// The applications the shell associates with a file type, found in the
// registry the way the shell's own "Open With" list finds them: the type's
// default application, the type's OpenWithList, then the user's recent
// choices. Each gets a friendly name, the command that opens a file with it,
// and its DDE settings. A log of every decision is written to the temporary
// folder while a list is built ("<type>log.txt").
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct OpenWithEntry {
    std::wstring m_exe;             // the program's file name, lower case
    std::wstring m_exepath;         // the command that opens a file ("%1")
    std::wstring m_desc;            // the name shown to the user
    std::wstring m_DDEExec;         // <class>\shell\open\DDEExec
    std::wstring m_DDEApplication;  // ...\DDEExec\Application
    std::wstring m_DDETopic;        // ...\DDEExec\Topic
    std::wstring m_ClassName;       // the class whose command was used
};

class OpenWithList {
public:
    static constexpr size_t kCapacity = 9;

    // Rebuilds the list for the extension (without the dot: "png"). With
    // skipSelf, this program is left out. An extension that is not plain
    // (see IsPlainExtension) gives an empty list and no log.
    void BuildOpenWithList(const std::wstring& extension, bool skipSelf);

    const std::vector<OpenWithEntry>& Entries() const { return entries_; }
    size_t Count() const { return entries_.size(); }
    const std::wstring& Extension() const { return extension_; }

private:
    class Log;
    void AddExe(Log& log, const std::wstring& exe, bool skipSelf, std::wstring command, std::wstring className);

    std::vector<OpenWithEntry> entries_;
    std::wstring extension_;
};

// Whether a text is a plain file-name extension without its dot: one to
// sixteen ASCII letters and digits, so that "<extension>log.txt" stays a
// file name in the temporary folder.
bool IsPlainExtension(const std::wstring& extension);

// The command of a class under the classes root: its "shell\open\command",
// else its "shell\edit\command", with %NAME% references expanded. Empty when
// the class is missing, is marked "NoOpenWith", or has neither command.
std::wstring GetClassCommand(const std::wstring& className);
// The program part of a command: up to the closing quote of a quoted start,
// else up to the first ".exe", else up to the first blank; quoted when it
// holds a blank, unquoted otherwise.
std::wstring GetCommandExecutable(const std::wstring& command);
// What follows the program part, unchanged.
std::wstring GetCommandArguments(const std::wstring& command);
// The file name of the program part, without trailing blanks and quotes.
std::wstring GetCommandExecutableName(const std::wstring& command);
// The name a user knows the class's program by: the shell's cached name, the
// program's version description, or its file name without the extension.
std::wstring FindFriendlyName(const std::wstring& className);
// The editor's program and arguments for a file: every "%1" of the class's
// command becomes the file's short path; arguments without "%1" are kept as
// they are and the file is not named.
bool BuildEditorCommandLine(const std::wstring& className, const std::wstring& filePath, std::wstring& program,
                            std::wstring& arguments);
// Every "%1" of a command replaced by the file.
std::wstring ReplaceFilePlaceholder(std::wstring command, const std::wstring& file);
// A text value under the classes root (name nullptr: the key's default),
// unexpanded; nothing when it is missing, not text, or absurdly long.
std::optional<std::wstring> ReadClassesRootText(const std::wstring& path, const wchar_t* name = nullptr);
bool ClassesRootKeyExists(const std::wstring& path);
// Replaces each %NAME% that names an environment variable by its value; other
// "%" signs ("%1") stay.
std::wstring ExpandEnvironmentPairs(const std::wstring& text);

// Every application the classes root can open files with, one group per
// program, in the order first found.
struct ApplicationGroup {
    std::wstring exe;  // lower case
    std::wstring friendlyName;
    std::vector<std::wstring> classNames;
};
std::vector<ApplicationGroup> BuildAllApplicationsList(const std::vector<std::wstring>& classNames);
// The classes to offer: every "Applications\<name>", then every key of the
// classes root.
std::vector<std::wstring> AllApplicationClasses();
