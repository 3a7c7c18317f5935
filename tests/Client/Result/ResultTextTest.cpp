#include <locale>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Client/Result/Nbest.h"
#include "Orvane/Utility/TextEncoding.h"
#include "Utility/Xml/Parser.h"
#include "support/Owned.h"
#include "support/XmlBuild.h"

namespace {

using Orvane::Client::Result::Nbest;
using Orvane::Test::Leaf;
using Orvane::Test::Owned;
using Orvane::Test::Tree;
using Orvane::Test::XmlNode;

XmlNode Word(const std::string& label, const std::string& start = "0", const std::string& end = "1",
             const std::string& phoneme = "", const std::string& score = "0")
{
    return Tree("Word", {Leaf("Label", label), Leaf("StartPoint", start), Leaf("EndPoint", end),
                         Leaf("Phoneme", phoneme), Leaf("Score", score)});
}

XmlNode Sentence(const std::vector<std::string>& labels, const std::string& score = "1")
{
    XmlNode sentence = Tree("Sentence", {Leaf("Score", score)});
    for (const std::string& label : labels) {
        sentence->children.push_back(Word(label));
    }
    return sentence;
}

XmlNode NbestOf(const std::vector<std::vector<std::string>>& sentences)
{
    XmlNode nbest = Tree("Nbest");
    for (const auto& labels : sentences) {
        nbest->children.push_back(Sentence(labels));
    }
    return nbest;
}

std::string Sjis(const char* utf8) { return Orvane::Utility::Utf8ToSjis(utf8); }

TEST(ResultTextTest, ToStringJoinsTheWrittenFormsOfTheFirstSentence)
{
    struct Case {
        const char* name;
        std::vector<std::vector<std::string>> sentences;
        std::string text;
    };
    const Case cases[] = {
        {"first fields joined", {{"今日;きょう", "は;わ"}}, "今日は"},
        {"pauses at both ends", {{"<sp>", "今日", "は", "<sp>"}}, "今日は"},
        {"ASCII space removed", {{"a b;x y"}}, "ab"},
        {"label beginning with a separator", {{";きょう", "は"}}, "は"},
        {"full-width pause token", {{"＜sp＞天気"}}, "天気"},
        {"ideographic space removed", {{"全角　空白"}}, "全角空白"},
        {"blanks go after the token replacement", {{"< sp>"}}, "<sp>"},
        {"no rescan of a replaced token", {{"<s<sp>p>"}}, "<sp>"},
        {"empty fields kept", {{"a;;c", "d;"}}, "ad"},
        {"no sentence", {}, ""},
        {"later sentences never count", {{}, {"後"}}, ""},
        {"only the first of several", {{"一"}, {"二"}}, "一"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Owned<Nbest> nbest(new Nbest(NbestOf(c.sentences)));
        EXPECT_EQ(c.text, nbest->ToString());
        EXPECT_EQ(c.text, nbest->ToString());
    }
}

// Texts received for a Shift_JIS session are held in Shift_JIS: the ASCII token and blank
// are still found, the full-width forms are not.
TEST(ResultTextTest, ToStringOnShiftJisLabels)
{
    struct Case {
        std::vector<std::string> labels;
        std::string text;
    };
    const Case cases[] = {
        {{Sjis("今日;きょう"), Sjis("は")}, Sjis("今日は")},
        {{"<sp>", Sjis("天 気")}, Sjis("天気")},
        {{Sjis("＜sp＞天気")}, Sjis("＜sp＞天気")},
        {{Sjis("全角　空白")}, Sjis("全角　空白")},
    };
    for (const Case& c : cases) {
        Owned<Nbest> nbest(new Nbest(NbestOf({c.labels})));
        EXPECT_EQ(c.text, nbest->ToString());
    }

    const std::string document = "<Nbest><Sentence><Score>1</Score><Word><Label>今日　は;きょう</Label>"
                                 "<StartPoint>0</StartPoint><EndPoint>1</EndPoint></Word></Sentence></Nbest>";
    Orvane::Utility::Xml::Parser parser(document.data(), document.size(), 1);
    Owned<Nbest> parsed(new Nbest(parser.Parse()));
    EXPECT_EQ(Sjis("今日　は"), parsed->ToString());
}

const char* const kGoldenXml =
    "<Nbest><Sentence><Score>0.5</Score>"
    "<Word><Label>今日;きょう</Label><StartPoint>0</StartPoint><EndPoint>1.23457e+06</EndPoint>"
    "<Phoneme>ky o u</Phoneme><Score>-95.5</Score></Word>"
    "<Word><Label>は</Label><StartPoint>1e-05</StartPoint><EndPoint>100.25</EndPoint>"
    "<Phoneme>w a</Phoneme><Score>0</Score></Word>"
    "</Sentence><Sentence><Score>-1520.12</Score></Sentence></Nbest>";

XmlNode GoldenNbest()
{
    XmlNode first = Tree("Sentence", {Leaf("Score", "0.5"), Word("今日;きょう", "0", "1234567", "ky o u", "-95.5"),
                                      Word("a<b", "1", "2", "x", "3"), Word("は", "0.00001", "100.25", "w a")});
    return Tree("Nbest", {first, Tree("Sentence", {Leaf("Score", "-1520.125")})});
}

TEST(ResultTextTest, ToXmlWritesOneCompactLine)
{
    Owned<Nbest> nbest(new Nbest(GoldenNbest()));
    EXPECT_STREQ(kGoldenXml, nbest->ToXML());
    EXPECT_STREQ(kGoldenXml, nbest->ToXML());

    Owned<Nbest> empty(new Nbest(Tree("Nbest")));
    EXPECT_STREQ("<Nbest></Nbest>", empty->ToXML());
}

// A decimal comma and digit grouping, as an application's own locale may bring.
struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Results are read and written the same way whatever the application's global locale.
TEST(ResultTextTest, NumbersIgnoreTheGlobalLocale)
{
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
    std::string xml;
    try {
        Owned<Nbest> nbest(new Nbest(GoldenNbest()));
        xml = nbest->ToXML();
    } catch (...) {
        std::locale::global(previous);
        throw;
    }
    std::locale::global(previous);
    EXPECT_EQ(kGoldenXml, xml);
}

} // namespace
