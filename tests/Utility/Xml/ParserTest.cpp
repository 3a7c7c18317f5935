#include "Utility/Xml/Parser.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "Utility/Xml/XmlTestSupport.h"

namespace {

using Orvane::Test::Dump;
using Orvane::Utility::Exception;
using Orvane::Utility::Xml::Parser;

boost::shared_ptr<Orvane::Utility::Xml::Node> Parse(const std::string& document, int convert = 0)
{
    return Parser(document.data(), static_cast<std::uint32_t>(document.size()), convert).Parse();
}

std::string Nested(int levels, const std::string& inner = "x")
{
    std::string document = inner;
    for (int level = levels; level >= 1; --level) {
        const std::string name = "e" + std::to_string(level);
        document = "<" + name + ">" + document + "</" + name + ">";
    }
    return document;
}

TEST(ParserTest, ReadsDocuments)
{
    struct Case {
        const char* name;
        std::string document;
        std::string tree;
    };
    const Case cases[] = {
        {"text", "<a>x</a>", "a=x"},
        {"text without surrounding whitespace", "<a>\n  x \n</a>", "a=x"},
        {"inner blank kept", "<a>x  y</a>", "a=x  y"},
        {"children in order", "<a><b>1</b><c>2</c></a>", "a{b=1,c=2}"},
        {"indented children", "<a>\n\t<b>1</b>\r\n\t<c>2</c>\n</a>\n", "a{b=1,c=2}"},
        {"whitespace around the root", " \t\r\n<a></a>\n \t", "a"},
        {"empty element", "<a><b></b></a>", "a{b}"},
        {"references are text", "<a>&amp;&#x41;</a>", "a=&amp;&#x41;"},
        {"closing angle in text", "<a>x>y</a>", "a=x>y"},
        {"name is every byte between the angles", "<a b='1'>v</a b='1'>", "a b='1'=v"},
        {"empty name", "<a><>1</></a>", "a{=1}"},
        {"Japanese", "<結果><文>今日は</文></結果>", "結果{文=今日は}"},
        {"nine levels", Nested(9), "e1{e2{e3{e4{e5{e6{e7{e8{e9=x}}}}}}}}"},
        {"deep siblings", "<a><b><c>1</c></b><b><c>2</c></b></a>", "a{b{c=1},b{c=2}}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boost::shared_ptr<Orvane::Utility::Xml::Node> root;
        ASSERT_NO_THROW(root = Parse(c.document));
        EXPECT_EQ(c.tree, Dump(*root));
    }
}

TEST(ParserTest, SyntaxErrorsGiveLineAndByte)
{
    struct Case {
        const char* name;
        std::string document;
        int line;
        int byte;
    };
    const Case cases[] = {
        {"empty", "", 1, 1},
        {"all whitespace ends", "  \n ", 2, 2},
        {"text before the root", "x<a></a>", 1, 1},
        {"root not closed", "<a>", 1, 4},
        {"root not closed and a blank", "<a> ", 1, 5},
        {"truncated after a child", "<R><V>x</V>", 1, 12},
        {"truncated inside a child", "<R><V>x", 1, 8},
        {"truncated after an opening tag", "<R><V>", 1, 7},
        {"text before a child", "<a>x<b>1</b></a>", 1, 8},
        {"text after a child", "<a><b>1</b>x</a>", 1, 17},
        {"closing tag of another element", "<a>x</b>", 1, 9},
        {"attributes make another name", "<a x=\"1\">v</a>", 1, 15},
        {"bytes after the root", "<a>v</a>x", 1, 9},
        {"second root", "<a>v</a>\n<b></b>", 2, 1},
        {"line feed in a tag", "<a\n>", 1, 3},
        {"carriage return in a closing tag", "<a>x</a\r>", 1, 8},
        {"tag cut by the end", "<a", 1, 3},
        {"angle as the last byte", "<a><", 1, 5},
        {"text cut by the end", "<a>text", 1, 8},
        {"self-closing tag", "<a><b/></a>", 1, 12},
        {"declaration becomes the root", "<?xml version=\"1.0\"?>\n<a></a>", 2, 8},
        {"position counts lines", "<a>\n\n  <b>1</b>\n  oops</a>", 4, 11},
        {"line feed before the error", "<a>\n<b>1</b>\n</c>", 3, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            Parse(c.document);
            ADD_FAILURE() << "parsed";
        } catch (const Exception& e) {
            EXPECT_STREQ("Orvane::Utility::Xml", e.GetType());
            EXPECT_EQ(3, e.GetErrorNo());
            EXPECT_EQ("構文エラーです。エラー位置=" + std::to_string(c.line) + "行目の" + std::to_string(c.byte) +
                          "バイト目",
                      e.what());
        }
    }
}

TEST(ParserTest, TenLevelsAreTooDeep)
{
    std::string opened; // ten opening tags and nothing more: the depth is checked first
    for (int level = 1; level <= 10; ++level) {
        opened += "<e" + std::to_string(level) + ">";
    }
    for (const std::string& document : {Nested(10), Nested(12), opened}) {
        SCOPED_TRACE(document);
        try {
            Parse(document);
            ADD_FAILURE() << "parsed";
        } catch (const Exception& e) {
            EXPECT_STREQ("Orvane::Utility::Xml", e.GetType());
            EXPECT_EQ(3, e.GetErrorNo());
            EXPECT_STREQ("タグのネストが多すぎます。ネストの数=10", e.what());
        }
    }
}

TEST(ParserTest, ConvertsTextsToShiftJisInMode1)
{
    const std::string document = "<結果><文>今日は</文><単語>caf\xC3\xA9</単語></結果>";
    EXPECT_EQ("結果{文=\x8D\xA1\x93\xFA\x82\xCD,単語=caf}", Dump(*Parse(document, 1)));
    for (int convert : {0, 2, -1}) {
        EXPECT_EQ("結果{文=今日は,単語=caf\xC3\xA9}", Dump(*Parse(document, convert)));
    }
    try {
        Parse("<a>x\x80</a>", 1);
        ADD_FAILURE() << "parsed";
    } catch (const Exception& e) {
        EXPECT_STREQ("", e.GetType());
        EXPECT_EQ(0, e.GetErrorNo());
    }
}

TEST(ParserTest, ReadsOnlyTheGivenLength)
{
    const char bytes[] = "<a>1</a><b>";
    EXPECT_EQ("a=1", Dump(*Parser(bytes, 8, 0).Parse()));
    const char embedded[] = "<a>x\0y</a>";
    EXPECT_EQ(std::string("a=x\0y", 5), Dump(*Parser(embedded, sizeof embedded - 1, 0).Parse()));
}

TEST(ParserTest, NullDocumentIsEmpty)
{
    try {
        Parser(nullptr, 12, 0).Parse();
        ADD_FAILURE() << "parsed";
    } catch (const Exception& e) {
        EXPECT_STREQ("構文エラーです。エラー位置=1行目の1バイト目", e.what());
    }
}

TEST(ParserTest, AnElementHookHearsOfEachElementAndMayKeepItOutOfTheTree)
{
    const std::string document = "<a><b><c>1</c><d>2</d></b><c>3</c></a>";
    Parser parser(document.data(), static_cast<std::uint32_t>(document.size()), 0);
    std::vector<std::string> heard;
    parser.SetElementHook([&](const std::vector<const Orvane::Utility::Xml::Node*>& open,
                              const boost::shared_ptr<Orvane::Utility::Xml::Node>& element) {
        std::string path;
        for (const Orvane::Utility::Xml::Node* outer : open) {
            path += outer->name + "/";
        }
        heard.push_back(path + element->name + "=" + element->text);
        // Every c is taken: it stays out of the tree.
        return element->name == "c";
    });
    const boost::shared_ptr<Orvane::Utility::Xml::Node> root = parser.Parse();
    EXPECT_EQ((std::vector<std::string>{"a/b/c=1", "a/b/d=2", "a/b=", "a/c=3"}), heard);
    EXPECT_EQ("a{b{d=2}}", Dump(*root));
}

} // namespace
