#include "output/EditorLaunch.h"

bool RunImageEditor(CaptureOptions&, const std::wstring&) {
    // Editor discovery and the DDE launch are not built yet: nothing starts.
    return false;
}
