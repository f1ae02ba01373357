// The placeholder passes of ExpandText, the line and tab markers, and the
// split of the product's web link, on values alone.
#include "uikit/TextCatalog.h"

#include <gtest/gtest.h>

namespace {

std::wstring Expand(const std::wstring& text, std::wstring webLink = L"<a href='https://s.example/'>Home</a>",
                    std::wstring company = L"Veltrane") {
    return TextCatalog({L"Snapwell", company, L"2.1   Build 007", L"https://s.example/buy", webLink})
        .ExpandText(text, false);
}

}  // namespace

TEST(ExpandText, FillsEveryPlaceholderAsOftenAsItOccurs) {
    EXPECT_EQ(Expand(L"{applicationname} by {companyname}, {version} / {version}"),
              L"Snapwell by Veltrane, 2.1   Build 007 / 2.1   Build 007");
    EXPECT_EQ(Expand(L"{applicationpurchaseurl} {applicationurl_name} {applicationurl_link}"),
              L"https://s.example/buy Home https://s.example/");
    EXPECT_EQ(Expand(L"{applicationurl_name}", L"<a href='https://s.example/'>{applicationname} online</a>"),
              L"Snapwell online") << "a value holding a placeholder is expanded in the next pass";
    EXPECT_EQ(Expand(L"$applicationname Properties"), L"$applicationname Properties") << "a key, not a placeholder";
}

TEST(ExpandText, UnknownWordsStayAndSelfNamingValuesStillEnd) {
    EXPECT_EQ(Expand(L"{unknown} {applicationname} {1} {applicationname"), L"{unknown} Snapwell {1} {applicationname");
    const std::wstring grown = Expand(L"{companyname}", L"", L"{companyname}{companyname}");
    EXPECT_LT(grown.size(), 70000u) << "the passes are bounded";
}

TEST(ExpandText, LineAndTabMarkers) {
    EXPECT_EQ(Expand(L"First{n}second"), L"First\nsecond") << "a line feed, no carriage return";
    EXPECT_EQ(Expand(L"Label:{t}{t}{applicationname}{n}{n}"), L"Label:\t\tSnapwell\n\n");
    EXPECT_EQ(Expand(L"{{n}}"), L"{\n}") << "there is no escape";
}

TEST(WebLink, AnchorTextAndAddressElseTheWholeLink) {
    const std::pair<const wchar_t*, WebLinkParts> cases[] = {
        {L"<a href='https://s.example/'>Home</a>", {L"Home", L"https://s.example/"}},
        {L"<a href='https://s.example/'></a>", {L"https://s.example/", L"https://s.example/"}},
        {L"<a href='https://s.example/'>no closing tag", {L"https://s.example/", L"https://s.example/"}},
        {L"https://s.example/", {L"https://s.example/", L"https://s.example/"}},
        {L"<a href=\"https://s.example/\">Home</a>", {L"<a href=\"https://s.example/\">Home</a>",
                                                     L"<a href=\"https://s.example/\">Home</a>"}},
        {L"<a href=''>Home</a>", {L"<a href=''>Home</a>", L"<a href=''>Home</a>"}},
    };
    for (const auto& [link, parts] : cases) {
        EXPECT_EQ(SplitWebLink(link).text, parts.text) << link;
        EXPECT_EQ(SplitWebLink(link).address, parts.address) << link;
    }
    EXPECT_EQ(Expand(L"{applicationurl_name}|{applicationurl_link}", L"https://s.example/"),
              L"https://s.example/|https://s.example/");
}
