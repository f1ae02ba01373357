#pragma once
// What happens to a capture: the profile's colour depth, then its action
// (save to a numbered file, copy to the clipboard, open in an editor).
#include "output/CaptureImage.h"

#include <windows.h>

#include <functional>
#include <string>

class CaptureOptions;

// The running number of capture files: one per process, starting at 0, never
// stored, so numbers rise across captures in one run and restart with the
// next run (skipping names whose files exist).
class CaptureFileNumbering {
public:
    static CaptureFileNumbering& Process();
    // prefix + the next number + "." + extension, skipping names that exist.
    std::wstring MakeUniqueFileName(const std::wstring& prefix, const std::wstring& extension);
    unsigned Counter() const { return counter_; }

private:
    unsigned counter_ = 0;
};

std::wstring MakeUniqueFileName(const std::wstring& prefix, const std::wstring& extension);

// Applies the profile's "ColorDepth"; failures leave the image as it was.
void ApplyColorDepth(CaptureOptions& options, CCaptureImage& image);

// The target path from the profile's folder, type and name prefix; asks
// with the save-as dialog when the prefix is "<PromptWhenSaving>" or there is
// no folder. Empty when the user cancelled.
std::wstring MakeCaptureFileName(CaptureOptions& options);

// Saves the capture under MakeCaptureFileName; on failure shows the path and
// the save error (and sets *failed). Returns the saved path, or empty when
// nothing was saved.
std::wstring SaveCaptureToFile(CaptureOptions& options, const CCaptureImage& image, bool* failed = nullptr);

// What post-processing made of one capture: the file it saved (empty for
// none), whether the clipboard took the picture, the picture's size, and
// whether a save failed (its message box was shown).
struct CaptureOutcome {
    std::wstring savedPath;
    bool copied = false;
    long width = 0;
    long height = 0;
    bool failed = false;
    // The user dropped the capture in the markup window: nothing was saved
    // or copied, as after an Escape in the overlay.
    bool discarded = false;
    // Something the user can find: a file or the clipboard.
    bool Produced() const { return !savedPath.empty() || copied; }
};

// What the markup window made of a capture: go on with the (changed)
// picture, or drop it.
enum class MarkupResult { Done, Discard };
// Opens the markup window over the full-colour picture and returns when the
// user is done with it.
using MarkupHandler = std::function<MarkupResult(CCaptureImage& image)>;

// How a capture reaches the markup window: the handler of a process that has
// one (empty: captures go on unmarked), and whether the user asked for it for
// this capture alone (Ctrl on release) whatever the profile's "Annotate" says.
struct MarkupRequest {
    MarkupHandler handler;
    bool once = false;
};

// The markup window when the profile's "Annotate" is "1" or the capture asked
// for it, then the colour depth, then the "Action". Returns 1 when it ran to
// the end (a discarded capture too), 0 when a failure was raised inside.
// clipboardOwner owns the clipboard data. What came of it goes to *outcome
// when given.
int ImagePostProcessing(CaptureOptions& options, CCaptureImage& image, HWND clipboardOwner,
                        CaptureOutcome* outcome = nullptr, const MarkupRequest& markup = {});

// The folder text with blanks at both ends and trailing backslashes removed;
// a leading "\\" of a network path is kept.
std::wstring TrimTargetFolder(const std::wstring& folder);

// The text shown below the path when a save fails: the active language's
// "ErrorSaveToFile", or an English text when it has none.
std::wstring SaveErrorText();
