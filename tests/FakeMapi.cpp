// A stand-in for the mail system's library (MAPI32.DLL), built by the test
// suite: it writes what MAPISendMail receives to %TEMP%\snapwell-mapi.txt
// (with the start of each attached file, read by the path it was given, as
// a mail program would) and reports the mail as sent, or the result that
// SNAPWELL_FAKE_MAPI_RESULT names.
#include <windows.h>
#include <mapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" ULONG WINAPI FakeMapiSendMail(LHANDLE, ULONG_PTR, lpMapiMessage message, FLAGS flags, ULONG) {
    char path[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH - 20, path);
    std::strcat(path, "snapwell-mapi.txt");
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return MAPI_E_FAILURE;
    std::fprintf(file, "flags=%lu\n", static_cast<unsigned long>(flags));
    std::fprintf(file, "recipients=%lu\n", static_cast<unsigned long>(message->nRecipCount));
    for (ULONG i = 0; i < message->nRecipCount; ++i) {
        const MapiRecipDesc& r = message->lpRecips[i];
        std::fprintf(file, "to=%lu|%s|%s\n", static_cast<unsigned long>(r.ulRecipClass), r.lpszName ? r.lpszName : "",
                     r.lpszAddress ? r.lpszAddress : "");
    }
    std::fprintf(file, "subject=%s\n", message->lpszSubject ? message->lpszSubject : "");
    std::fprintf(file, "files=%lu\n", static_cast<unsigned long>(message->nFileCount));
    for (ULONG i = 0; i < message->nFileCount; ++i) {
        const char* attached = message->lpFiles[i].lpszPathName ? message->lpFiles[i].lpszPathName : "";
        std::fprintf(file, "file=%ld|%s\n", static_cast<long>(message->lpFiles[i].nPosition), attached);
        if (FILE* data = std::fopen(attached, "rb")) {
            char start[128] = {};
            const size_t read = std::fread(start, 1, sizeof(start) - 1, data);
            std::fclose(data);
            std::fprintf(file, "filedata=%.*s\n", static_cast<int>(read), start);
        }
    }
    // The body last, so that its own line breaks need no escaping.
    std::fprintf(file, "body=%s", message->lpszNoteText ? message->lpszNoteText : "");
    std::fclose(file);
    char result[16] = {};
    if (::GetEnvironmentVariableA("SNAPWELL_FAKE_MAPI_RESULT", result, sizeof(result)) > 0)
        return static_cast<ULONG>(std::strtoul(result, nullptr, 10));
    return SUCCESS_SUCCESS;
}
