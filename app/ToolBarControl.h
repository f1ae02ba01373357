#pragma once
// The floating capture toolbar of an engine. For now an empty, hidden
// window that captures hide and show again; its buttons come later.
#include "platform/Window.h"

class ToolBarControl : public platform::Window {
public:
    // Creates the hidden toolbar window; false when the window could not
    // be made (the engine works on without it).
    bool CreateHidden();
    // Rebuilds the buttons from the current options.
    void Rebuild() {}
};
