// The layout of described dialogs as plain arithmetic: descriptions read
// from XML text, measured with fixed text sizes, laid out, and emitted in
// template order. No window is made here.
#include "uikit/DialogDescription.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// Every character is 4 pixels wide and a line 8 high (times the element's
// size factor, a fifth wider for buttons); wrapped text breaks at the
// maximum width. One pixel is one DLU.
class FixedMeasurer : public LayoutMeasurer {
public:
    SIZE Text(const std::wstring& text, int maxWidth, bool wordWrap, int fontSize, bool larger) override {
        const int lineHeight = 8 * (fontSize + 1) / 2;
        const int total = static_cast<int>(text.size()) * 4 * (fontSize + 1) / 2 * (larger ? 12 : 10) / 10;
        if (!wordWrap || total <= maxWidth || maxWidth <= 0) return SIZE{total, lineHeight};
        return SIZE{maxWidth, lineHeight * ((total + maxWidth - 1) / maxWidth)};
    }
    SIZE Picture(const std::wstring& path) override {
        const auto found = pictures.find(path);
        return found == pictures.end() ? SIZE{} : found->second;
    }
    SIZE Screen() override { return screen; }

    std::map<std::wstring, SIZE> pictures;
    SIZE screen{1280, 1024};
};

constexpr DluScale kOneToOne{1024, 1024};

std::string Describe(const std::string& dialogs) {
    return "<?xml version='1.0'?><root><ui:dialogBoxes>" + dialogs + "</ui:dialogBoxes></root>";
}

// Reads dialog "d" from the text, measures with the minimums and lays it
// out as the dialog does.
struct Built {
    explicit Built(const std::string& xml, const std::wstring& id = L"d") {
        pugi::xml_document document;
        document.load_string(std::wstring(xml.begin(), xml.end()).c_str(),
                             pugi::parse_default | pugi::parse_comments | pugi::parse_ws_pcdata);
        found = ReadDialogDescription(document, id, description, [](const std::wstring& key) { return key; });
        MeasureTree(description.root, measurer, kOneToOne, true);
        size = LayoutTree(description.root);
        entries = EmitControls(description, ids);
    }
    const TemplateEntry& Entry(const std::wstring& text) const {
        for (const TemplateEntry& e : entries)
            if (e.text == text || e.item->name == text) return e;
        static TemplateEntry none;
        ADD_FAILURE() << "no control " << std::string(text.begin(), text.end());
        return none;
    }
    std::vector<std::wstring> Order() const {
        std::vector<std::wstring> order;
        for (const TemplateEntry& e : entries) order.push_back(e.text);
        return order;
    }

    FixedMeasurer measurer;
    DialogDescription description;
    ControlIds ids;
    bool found = false;
    SIZE size{};
    std::vector<TemplateEntry> entries;
};

std::unique_ptr<LayoutItem> Box(int width, int height) {
    auto item = std::make_unique<LayoutControl>(ControlKind::Divider);
    item->width = width;
    item->height = height;
    return item;
}

}  // namespace

TEST(DialogLayout, ColumnAlignmentMovesTheNarrowItem) {
    for (const auto& [align, move] : {std::pair{1, 20}, std::pair{2, 40}, std::pair{0, 0}}) {
        LayoutGroup root;
        auto& column = root.Append(std::make_unique<VContainer>(align));
        LayoutItem& wide = column.Append(Box(100, 10));
        LayoutItem& narrow = column.Append(Box(60, 10));
        LayoutTree(root);
        EXPECT_EQ(narrow.left - wide.left, move) << "alignment " << align;
        EXPECT_EQ(narrow.top, wide.Bottom() + 2) << "stacked with the gap of 2";
        EXPECT_EQ(column.width, 104) << "the widest child plus padding on both sides";
    }
    // A row does the same across: middle alignment moves a 10 DLU high item
    // down by 5 next to a 20 DLU high one.
    LayoutGroup root;
    auto& row = root.Append(std::make_unique<HContainer>(1));
    LayoutItem& tall = row.Append(Box(30, 20));
    LayoutItem& low = row.Append(Box(30, 10));
    LayoutTree(root);
    EXPECT_EQ(low.top - tall.top, 5);
    EXPECT_EQ(low.left, tall.Right() + 2);
}

TEST(DialogLayout, WidthPeersAndTheButtonMinimum) {
    Built b(Describe("<d id='d'><ui:vContainer>"
                     "<ui:hContainer><ui:button stringid='OK' widthPeer='1'/></ui:hContainer>"
                     "<ui:hContainer><ui:button stringid='A caption long enough to be wide' widthPeer='1'/>"
                     "<ui:button stringid='No'/></ui:hContainer>"
                     "</ui:vContainer></d>"));
    ASSERT_TRUE(b.found);
    // 32 characters of 4.8 pixels, five per cent wider, plus 4.
    const int wide = 32 * 4 * 12 / 10 * 1075 / 1024 + 4;
    EXPECT_EQ(b.Entry(L"OK").cx, wide) << "the peer takes the wider button's width";
    EXPECT_EQ(b.Entry(L"A caption long enough to be wide").cx, wide);
    EXPECT_EQ(b.Entry(L"No").cx, 60) << "a short button is still 60 DLU wide";
    EXPECT_EQ(b.Entry(L"No").cy, 16);
}

TEST(DialogLayout, PaddingFalseAddsNoGapAndTrueInCapitalsCounts) {
    const auto rowOf = [](const char* padding) {
        Built b(Describe(std::string("<d id='d'><ui:hContainer padding='false'>"
                                     "<ui:vContainer padding='") + padding + "'><ui:divider/></ui:vContainer>"
                                     "<ui:vContainer padding='" + padding + "'><ui:divider/></ui:vContainer>"
                                     "</ui:hContainer></d>"));
        return std::pair{b.entries.at(1).x, b.entries.at(0).x};  // emitted last-first
    };
    const auto [firstTrue, secondTrue] = rowOf("TRUE");
    const auto [firstFalse, secondFalse] = rowOf("false");
    // Padded: the divider sits 2 inside its column and the column keeps 2
    // after itself; unpadded, the columns touch.
    EXPECT_EQ(secondTrue - firstTrue, 2 + 2 + 2 + 2);
    EXPECT_EQ(secondFalse - firstFalse, 2);
}

TEST(DialogLayout, NamesIdentifiersAndTemplateOrder) {
    Built b(Describe("<d id='d' title='T'><ui:vContainer>"
                     "<ui:static stringid='one'/><ui:static stringid='two'/>"
                     "<ui:hContainer><ui:button stringid='b1'/><ui:button stringid='b2'/><ui:button stringid='b3'/>"
                     "</ui:hContainer>"
                     "<ui:hContainer><ui:button id='ok' stringid='yes1'/><ui:button id='ok' stringid='yes2'/>"
                     "<ui:edit id='third' tabStop='3'/><ui:edit id='first' tabStop='1'/>"
                     "<ui:checkbox id='second' stringid='c' tabStop='2'/></ui:hContainer>"
                     "</ui:vContainer></d>"));
    ASSERT_TRUE(b.found);
    EXPECT_EQ(b.description.title, L"T");
    // Statics get unique automatic names; buttons without one share "-1".
    EXPECT_NE(b.Entry(L"one").item->name, b.Entry(L"two").item->name);
    EXPECT_EQ(b.Entry(L"one").item->name.rfind(L"0x", 0), 0u);
    EXPECT_NE(b.Entry(L"one").id, b.Entry(L"two").id);
    EXPECT_EQ(b.Entry(L"b1").item->name, L"-1");
    EXPECT_EQ(b.Entry(L"b1").id, b.Entry(L"b3").id);
    EXPECT_EQ(b.Entry(L"yes1").id, 1);
    EXPECT_EQ(b.Entry(L"yes2").id, 1);
    EXPECT_GE(b.Entry(L"b1").id, 17);

    // Tab stops 1, 2, 3 first, with WS_TABSTOP; then the rest, the last
    // sibling first and children before their parent's earlier siblings.
    ASSERT_EQ(b.entries.size(), 10u);
    EXPECT_EQ(b.entries[0].item->name, L"first");
    EXPECT_EQ(b.entries[1].item->name, L"second");
    EXPECT_EQ(b.entries[2].item->name, L"third");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(b.entries[i].style & WS_TABSTOP) << i;
    EXPECT_FALSE(b.Entry(L"b1").style & WS_TABSTOP);
    const std::vector<std::wstring> order = b.Order();
    const std::vector<std::wstring> rest(order.begin() + 3, order.end());
    EXPECT_EQ(rest, (std::vector<std::wstring>{L"yes2", L"yes1", L"b3", L"b2", L"b1", L"two", L"one"}));
    // Numbers from 17 follow the template order.
    EXPECT_EQ(b.Entry(L"first").id, 17);
    EXPECT_EQ(b.Entry(L"second").id, 18);
    EXPECT_EQ(b.Entry(L"third").id, 19);
    EXPECT_EQ(b.ids.Find(L"-1"), 20);

    const std::vector<WORD> bytes = BuildDialogTemplate(DialogHeader{kNormalDialogStyle, 0, 100, 50, L"T"}, b.entries);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 0xFFFF) << "an extended template";
    EXPECT_EQ(bytes[8], 10) << "the item count";
    EXPECT_EQ(bytes.size() % 2, 0u) << "DWORD-aligned";
}

TEST(DialogLayout, MultiLineEditAndStaticSizes) {
    Built b(Describe("<d id='d'><ui:vContainer>"
                     "<ui:edit id='e' minHeight='3' minWidth='80'/><ui:password id='p'/>"
                     "<ui:static stringid='big' size='2'/>"
                     "<ui:static stringid='a text that would wrap at twenty' maxWidth='40'/>"
                     "<ui:static stringid='a text that never wraps at all' maxWidth='40' singleLine='true'/>"
                     "</ui:vContainer></d>"));
    const TemplateEntry& edit = b.Entry(L"e");
    EXPECT_EQ(edit.cy, (8 + 4) * 3) << "three text lines high";
    EXPECT_EQ(edit.cx, 80);
    EXPECT_EQ(edit.style, 0x50000000u | 0xB010C4u) << "multi-line with both scroll bars";
    EXPECT_EQ(b.Entry(L"p").style, 0x50000000u | 0x800080u | ES_PASSWORD);
    EXPECT_EQ(b.Entry(L"big").cy, 12 + 4) << "size 2 is one and a half times as high";
    EXPECT_EQ(b.Entry(L"a text that would wrap at twenty").cy, 8 * 4 + 4);
    EXPECT_EQ(b.Entry(L"a text that never wraps at all").cy, 8 + 4);
}

TEST(DialogLayout, TwoTopLevelContainersShareTheOrigin) {
    Built b(Describe("<d id='d'><ui:vContainer><ui:button stringid='x'/></ui:vContainer>"
                     "<ui:vContainer><ui:button stringid='y'/></ui:vContainer></d>"));
    EXPECT_EQ(b.Entry(L"x").x, b.Entry(L"y").x);
    EXPECT_EQ(b.Entry(L"x").y, b.Entry(L"y").y);
    EXPECT_EQ(b.Entry(L"x").x, 2) << "the tree moved so that its least left is 0";
    EXPECT_EQ(b.size.cx, 64);
    EXPECT_EQ(b.size.cy, 20);
}

TEST(DialogLayout, BitmapForTheScreenSize) {
    LayoutControl bitmap(ControlKind::Bitmap);
    bitmap.pictures[0] = L"big.bmp";
    bitmap.pictures[1] = L"small.bmp";
    EXPECT_EQ(bitmap.ChosenPicture(SIZE{800, 600}), L"small.bmp");
    EXPECT_EQ(bitmap.ChosenPicture(SIZE{1024, 768}), L"big.bmp") << "no picture for 1152 x 864: path";
    EXPECT_EQ(bitmap.ChosenPicture(SIZE{1920, 1080}), L"big.bmp");
    bitmap.pictures[2] = L"middle.bmp";
    EXPECT_EQ(bitmap.ChosenPicture(SIZE{1024, 768}), L"middle.bmp");
    bitmap.pictures[1].clear();
    EXPECT_EQ(bitmap.ChosenPicture(SIZE{640, 480}), L"big.bmp");

    FixedMeasurer measurer;
    measurer.screen = SIZE{800, 600};
    measurer.pictures[L"small.bmp"] = SIZE{40, 30};
    bitmap.pictures[1] = L"small.bmp";
    bitmap.Measure(measurer, kOneToOne, true);
    EXPECT_EQ(bitmap.width, 40);
    EXPECT_EQ(bitmap.height, 30);
    EXPECT_EQ(bitmap.GapX(), 0);
    bitmap.pictures[1] = L"missing.bmp";
    bitmap.Measure(measurer, kOneToOne, true);
    EXPECT_EQ(bitmap.width, 0) << "a picture that cannot be loaded measures 0 x 0";
}

TEST(DialogLayout, BrokenDescriptionsGiveAWorkingDialog) {
    const std::string cases[] = {
        "",                                                        // nothing at all
        "<?xml version='1.0'?><root/>",                            // no ui:dialogBoxes
        "<root><ui:dialogBoxes/><ui:dialogBoxes><d id='d'><ui:button/></d></ui:dialogBoxes></root>",  // two
        Describe("<d id='other'><ui:button/></d>"),                // no dialog of that name
    };
    for (const std::string& xml : cases) {
        Built b(xml);
        EXPECT_TRUE(b.entries.empty()) << xml;
        EXPECT_EQ(b.size.cx, 0);
    }
    // Unknown elements are skipped; a comment stops its siblings only.
    Built skipped(Describe("<d id='d'><ui:vContainer><ui:unknown/><ui:button stringid='kept'/>"
                           "<ui:zContainer><ui:button stringid='in a skipped container'/></ui:zContainer>"
                           "<!-- a comment --><ui:button stringid='after the comment'/></ui:vContainer>"
                           "<ui:button stringid='beside'/></d>"));
    EXPECT_EQ(skipped.Order(), (std::vector<std::wstring>{L"beside", L"kept"}));

    // Absurd numbers are kept in range, and positions in a template's 16 bits.
    Built absurd(Describe("<d id='d'><ui:vContainer>"
                          "<ui:static stringid='huge' size='1000'/><ui:static stringid='narrow' maxWidth='-5'/>"
                          "<ui:static stringid='wide' maxWidth='99999999'/><ui:edit id='e' minWidth='99999999'/>"
                          "</ui:vContainer></d>"));
    ASSERT_EQ(absurd.entries.size(), 4u);
    for (const TemplateEntry& e : absurd.entries) {
        EXPECT_GE(e.cx, 0);
        EXPECT_GE(e.cy, 0);
        EXPECT_GE(e.x, 0);
    }
    EXPECT_EQ(absurd.Entry(L"e").cx, 32767) << "clamped to 16 bits";

    // Ten thousand levels of nesting build without exhausting the stack.
    std::string deep;
    for (int i = 0; i < 10000; ++i) deep += "<ui:vContainer>";
    deep += "<ui:button stringid='deep'/>";
    for (int i = 0; i < 10000; ++i) deep += "</ui:vContainer>";
    Built nested(Describe("<d id='d'>" + deep + "<ui:button stringid='shallow'/></d>"));
    EXPECT_EQ(nested.Order(), (std::vector<std::wstring>{L"shallow"})) << "the part too deep is left out";
}
