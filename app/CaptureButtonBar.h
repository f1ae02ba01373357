#pragma once
// The six buttons of the capture toolbar: a toolbar control whose images
// come in two sizes, with a hot look under the pointer, and whose labels
// show below the images or not at all.
#include "platform/SubclassedWindow.h"

#include <commctrl.h>

#include <vector>

class CaptureButtonBar : public platform::SubclassedWindow {
public:
    static constexpr int kBarId = 0xE800;
    enum IconSize { kSmallIcons = 0, kLargeIcons = 1 };
    enum LabelMode { kNoLabels = 0, kLabelsBelow = 1, kLabelsRight = 2 };

    CaptureButtonBar() = default;
    ~CaptureButtonBar() override;

    // Creates the control at the top of parent with the buttons of toolbar
    // resource 153; false when it could not be made.
    bool Create(HWND parent);
    // Loads the four image lists for a screen of that many dots per inch
    // (the images drawn for its scale where there are some), replacing any
    // loaded before; later sizes are computed for that scale too.
    void LoadImageLists(int dpi);
    void SetIconSize(IconSize size) { iconSize_ = size; }
    IconSize GetIconSize() const { return iconSize_; }
    // The image lists of the current icon size.
    void ApplyImageLists();
    // Button and image sizes for the icon size and label mode; the control
    // then spans all its buttons at (0, 0).
    void ComputeSizes(LabelMode mode);
    // The size a button has in that icon size and label mode on a screen of
    // that many dots per inch.
    static SIZE ButtonSize(IconSize size, LabelMode mode, int dpi = 96);
    // The side of a button image in that icon size at that scale.
    static int ImageSize(IconSize size, int dpi);
    const std::vector<int>& CommandIds() const { return commandIds_; }
    // The width of all buttons together and the height of the tallest.
    SIZE ButtonsExtent() const;
    // Gives the parent window the size whose client area holds exactly all
    // buttons; its position stays.
    void FitParent() const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void DestroyImageLists();

    IconSize iconSize_ = kLargeIcons;
    int dpi_ = 96;
    // Small normal, small hot, large hot, large normal.
    HIMAGELIST smallNormal_ = nullptr;
    HIMAGELIST smallHot_ = nullptr;
    HIMAGELIST largeHot_ = nullptr;
    HIMAGELIST largeNormal_ = nullptr;
    std::vector<int> commandIds_;
};
