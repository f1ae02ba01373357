#pragma once
// The tool strip at the top of the markup window: the tools, six colours,
// three line widths, Undo and Redo, then Copy, Done and Discard. Its icons
// are drawn for the window's DPI, each button has a tooltip with its key,
// and the wheel over the Step button sets the next step number.
#include "platform/Gdi.h"
#include "platform/Window.h"

#include <string>
#include <vector>

class MarkupWindow;

class MarkupToolStrip : public platform::Window {
public:
    enum class ItemKind { Tool, Colour, Width, Undo, Redo, Copy, Done, Discard };
    struct Item {
        ItemKind kind;
        int value;  // the tool, colour or width index
        RECT rect;
        std::wstring tip;
        std::wstring label;  // shown beside the icon (Copy, Done, Discard)
    };

    explicit MarkupToolStrip(MarkupWindow& owner) : owner_(owner) {}
    ~MarkupToolStrip() override;

    bool Create(HWND parent);
    // Lays the buttons out for the DPI; returns the strip's height.
    int LayoutFor(int dpi);
    // The width all buttons need at the DPI of the last layout.
    int NeededWidth() const { return neededWidth_; }
    int Height() const { return height_; }
    // Shows the state of the window (tool, colour, width, undo) again.
    void Refresh();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int HitItem(POINT point) const;
    bool IsChecked(const Item& item) const;
    bool IsEnabled(const Item& item) const;
    void Paint(HDC dc, const RECT& client);
    void Activate(const Item& item);
    void AddTooltips();
    HFONT Font();

    MarkupWindow& owner_;
    std::vector<Item> items_;
    HWND tooltip_ = nullptr;
    platform::UniqueGdi<HFONT> font_;
    int dpi_ = 96;
    int height_ = 0;
    int neededWidth_ = 0;
    int hot_ = -1;
    int pressed_ = -1;
    bool tracking_ = false;
};
