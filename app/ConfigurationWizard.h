#pragma once
// The first-run wizard: five described pages from "ui.xml" that ask for the
// toolbar's hot key, two program options, what happens to a capture and
// where captures are saved, then write the answers into the options.
#include "uikit/HotKey.h"

#include <optional>
#include <string>

class CaptureOptions;

// The answers while the wizard runs; nothing reaches the options before the
// last page is confirmed.
struct WizardAnswers {
    bool startup = true;
    bool hideCursor = true;
    bool notify = true;
    bool clipboard = true;
    bool save = false;
    bool open = false;
    std::wstring folder;
    std::optional<HotKey> hotKey;
};

// The profile's "Action" for the three choices; opening an editor always
// saves a file.
std::wstring WizardActionText(bool clipboard, bool save, bool open);

class ConfigurationWizard {
public:
    // Page results: Next, Cancel and Back.
    static constexpr int kNext = 1;
    static constexpr int kCancel = 2;
    static constexpr int kBack = 11;

    // The pages come from pagesFile (a file of the program folder, or a full
    // path); the help's start page from helpFolder.
    ConfigurationWizard(CaptureOptions& options, std::wstring helpFolder, std::wstring pagesFile = L"ui.xml");

    enum class Outcome {
        Finished,   // the last page was confirmed and the answers written
        Cancelled,  // nothing was written
        Missing,    // the pages are missing or broken: nothing was asked
        NotSaved,   // the last page was confirmed, but the answers could not
                    // be saved (the user was told): the questions stay open
    };
    Outcome Run();
    const WizardAnswers& Answers() const { return answers_; }

private:
    int RunPage(int step);
    // False when the options could not be saved.
    bool WriteAnswers();

    CaptureOptions& options_;
    std::wstring helpFolder_;
    std::wstring pagesFile_;
    WizardAnswers answers_;
};
