#pragma once
// Opens a saved capture in the editor chosen for its file type: the
// program's option ".png" (and its siblings) names a class of the shell's
// registry; its open command starts the editor with the file's short path,
// and where the class registers a DDE "open" conversation the editor gets
// the DDE execute command with the file's long path as well.
#include <windows.h>
#include <ddeml.h>

#include <string>

class CaptureOptions;

// Returns false when there is nothing to open (an empty path) or no editor
// was reached. Blocks while the editor starts and takes the DDE command.
bool RunImageEditor(CaptureOptions& options, const std::wstring& path);

struct DdeExecInfo {
    bool available = false;  // a ddeexec key with a readable service name
    std::wstring command;    // the template, "%1" for the file
    std::wstring service;
    std::wstring topic;      // "System" when the class names none
};
DdeExecInfo GetDdeExecInfo(const std::wstring& className);

enum class DdeProbe { Answered = 0, NoServer = 1, HungWindow = 2 };
// Whether a DDE server answers for the service and topic. Every top-level
// window is asked first with a time limit, so that a hung window (which
// would block the platform's own broadcast for ever) is found instead; each
// conversation a server accepts then is terminated again and the atoms of
// its acknowledgement deleted.
DdeProbe ProbeDdeServer(const std::wstring& service, const std::wstring& topic, DWORD hungTimeoutMs = 10000);

// A DDE client conversation for one execute command. The editor process,
// when it was just started, is waited for while it sets up its server.
class DdeExecuteClient {
public:
    DdeExecuteClient(const std::wstring& service, const std::wstring& topic, HANDLE process);
    ~DdeExecuteClient();
    DdeExecuteClient(const DdeExecuteClient&) = delete;
    DdeExecuteClient& operator=(const DdeExecuteClient&) = delete;

    // Sends the template with every "%1" replaced by the file; false when no
    // conversation could be held.
    bool Execute(const std::wstring& commandTemplate, const std::wstring& file);

private:
    DWORD instance_ = 0;
    bool initialised_ = false;
    HSZ service_ = nullptr;
    HSZ topic_ = nullptr;
    HANDLE process_ = nullptr;
};
