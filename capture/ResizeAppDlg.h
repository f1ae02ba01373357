#pragma once
// The dialog that asks for a picked window's new outer size: three common
// sizes to choose from, or a size typed as width x height.
#include "platform/Dialog.h"
#include "platform/SubclassedWindow.h"

#include <memory>
#include <string>

// What a typed size amounts to against a window's minimum and the screen.
enum class WindowSizeVerdict { Accepted, TooSmall, TooLarge };

// Reads text as "width x height" (case-insensitive x, each part read as a
// decimal number; a part without one leaves that value as it was) and judges
// the result. Text with no "x" or with more than one changes neither value.
WindowSizeVerdict ReadWindowSize(const std::wstring& text, int& width, int& height, SIZE minimum, SIZE screen);

class CResizeAppDlg : public platform::Dialog {
public:
    explicit CResizeAppDlg(HWND target);
    ~CResizeAppDlg() override;

    INT_PTR DoModal(HWND parent);
    // The size confirmed with OK.
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The minimum tracking size the window asks for, from 122 x 27 up.
    SIZE MinimumSize() const;

protected:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class SizeFilter;
    void OnInitDialog();
    // False (with a message) when the typed size cannot be given.
    bool Validate();

    HWND target_;
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<SizeFilter> filter_;
};
