// The placeholder passes of ExpandText, the line and tab markers, and the
// split of the product's web link, on values alone.
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

namespace {

ProductTexts Product(std::wstring webLink = L"<a href='https://snapwell.example/'>Snapwell home</a>") {
    return {L"Snapwell", L"Veltrane", L"2.1   Build 007", L"https://snapwell.example/buy", std::move(webLink)};
}

std::wstring Expand(const std::wstring& text, ProductTexts product = Product()) {
    return TextCatalog(std::move(product)).ExpandText(text, false);
}

}  // namespace

TEST(ExpandText, FillsEveryProductPlaceholder) {
    EXPECT_EQ(Expand(L"{applicationname} by {companyname}, {version}"), L"Snapwell by Veltrane, 2.1   Build 007");
    EXPECT_EQ(Expand(L"Buy at {applicationpurchaseurl}"), L"Buy at https://snapwell.example/buy");
    EXPECT_EQ(Expand(L"{applicationurl_name} at {applicationurl_link}"),
              L"Snapwell home at https://snapwell.example/");
    EXPECT_EQ(Expand(L""), L"");
    EXPECT_EQ(Expand(L"$applicationname Properties"), L"$applicationname Properties")
        << "the dollar form is a key, not a placeholder";
}

TEST(ExpandText, RepeatedAndNestedPlaceholdersTakeFurtherPasses) {
    EXPECT_EQ(Expand(L"{version} / {version}"), L"2.1   Build 007 / 2.1   Build 007");
    EXPECT_EQ(Expand(L"{applicationname}{applicationname}{applicationname}"), L"SnapwellSnapwellSnapwell");
    EXPECT_EQ(Expand(L"{applicationurl_name}", Product(L"<a href='https://x.example/'>{applicationname} online</a>")),
              L"Snapwell online") << "a value holding a placeholder is expanded in the next pass";
}

TEST(ExpandText, UnknownWordsInBracesStayAndEndTheLoop) {
    EXPECT_EQ(Expand(L"{unknown} {applicationname} {1}"), L"{unknown} Snapwell {1}");
    EXPECT_EQ(Expand(L"{"), L"{");
    EXPECT_EQ(Expand(L"{applicationname"), L"{applicationname");
}

TEST(ExpandText, ValuesThatNameThemselvesStillEnd) {
    ProductTexts product = Product();
    product.companyName = L"{companyname}{companyname}";
    product.productName = L"{applicationname}";
    const std::wstring text = Expand(L"{applicationname} {companyname}", product);
    EXPECT_EQ(text.substr(0, 18), L"{applicationname} ");
    EXPECT_LT(text.size(), 70000u) << "growth is bounded";
}

TEST(ExpandText, LineAndTabMarkers) {
    EXPECT_EQ(Expand(L"First line{n}second line"), L"First line\nsecond line") << "a line feed, no carriage return";
    EXPECT_EQ(Expand(L"Label:{t}{t}value{n}{n}"), L"Label:\t\tvalue\n\n");
    EXPECT_EQ(Expand(L"{{n}}"), L"{\n}") << "there is no escape";
    EXPECT_EQ(Expand(L"{applicationname}{n}{t}{version}"), L"Snapwell\n\t2.1   Build 007");
}

TEST(WebLink, AnchorTextAndAddress) {
    struct Case {
        const wchar_t* link;
        const wchar_t* text;
        const wchar_t* address;
    };
    const Case cases[] = {
        {L"<a href='https://s.example/'>Snapwell home</a>", L"Snapwell home", L"https://s.example/"},
        {L"https://s.example/", L"https://s.example/", L"https://s.example/"},
        {L"<a href='https://s.example/'></a>", L"https://s.example/", L"https://s.example/"},
        {L"<a href='https://s.example/'>no closing tag", L"https://s.example/", L"https://s.example/"},
        {L"<a href=\"https://s.example/\">double quotes</a>", L"<a href=\"https://s.example/\">double quotes</a>",
         L"<a href=\"https://s.example/\">double quotes</a>"},
        {L"<a href=''>empty address</a>", L"<a href=''>empty address</a>", L"<a href=''>empty address</a>"},
        {L"<a href='https://s.example/'", L"<a href='https://s.example/'", L"<a href='https://s.example/'"},
        {L"", L"", L""},
    };
    for (const Case& c : cases) {
        const WebLinkParts parts = SplitWebLink(c.link);
        EXPECT_EQ(parts.text, c.text) << c.link;
        EXPECT_EQ(parts.address, c.address) << c.link;
    }
    EXPECT_EQ(Expand(L"{applicationurl_name}|{applicationurl_link}", Product(L"https://s.example/")),
              L"https://s.example/|https://s.example/");
}
