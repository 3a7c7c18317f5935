#include "Utility/Xml/Node.h"

#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "Utility/Xml/Parser.h"
#include "Utility/Xml/XmlTestSupport.h"
#include "support/NbestDocument.h"

namespace {

using Orvane::Test::Dump;
using Orvane::Test::Written;
using Orvane::Utility::Xml::Node;
using Orvane::Utility::Xml::Parser;
using NodePtr = boost::shared_ptr<Node>;

NodePtr Parse(const std::string& document)
{
    return Parser(document.data(), static_cast<std::uint32_t>(document.size()), 0).Parse();
}

TEST(NodeTest, CreateInstanceForms)
{
    struct Case {
        const char* name;
        NodePtr node;
        const char* expectedName;
        const char* expectedText;
    };
    const Case cases[] = {
        {"name", Node::CreateInstance("Value"), "Value", ""},
        {"text", Node::CreateInstance("Label", "今日"), "Label", "今日"},
        {"negative int", Node::CreateInstance("Int", -42), "Int", "-42"},
        {"smallest int", Node::CreateInstance("Int", INT_MIN), "Int", "-2147483648"},
        {"zero", Node::CreateInstance("Int", 0), "Int", "0"},
        {"largest unsigned", Node::CreateInstance("Size", UINT_MAX), "Size", "4294967295"},
        {"null name", Node::CreateInstance(nullptr), "", ""},
        {"null text", Node::CreateInstance("a", static_cast<const char*>(nullptr)), "a", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expectedName, c.node->name);
        EXPECT_EQ(c.expectedText, c.node->text);
        EXPECT_TRUE(c.node->children.empty());
    }

    std::vector<NodePtr> list = {Node::CreateInstance("b", "1"), Node::CreateInstance("c", "2")};
    const NodePtr parent = Node::CreateInstance("a", list);
    list.push_back(Node::CreateInstance("d"));
    ASSERT_EQ(2u, parent->children.size()); // the list is copied
    EXPECT_EQ(list[0], parent->children[0]); // the children are shared
    EXPECT_EQ("", parent->text);
}

TEST(NodeTest, ChildFindsTheFirstOfAName)
{
    const NodePtr first = Node::CreateInstance("b", "1");
    const NodePtr parent =
        Node::CreateInstance("a", std::vector<NodePtr>{Node::CreateInstance("c"), first, Node::CreateInstance("b", "2"),
                                                       Node::CreateInstance("")});
    EXPECT_EQ(first, parent->Child("b"));
    EXPECT_FALSE(parent->Child("B"));
    EXPECT_FALSE(parent->Child("bb"));
    EXPECT_FALSE(Node::CreateInstance("a")->Child("b"));
    EXPECT_EQ(parent->children[3], parent->Child(nullptr));
    EXPECT_EQ(parent->children[3], parent->Child(""));
}

TEST(NodeTest, EmptyChildPointersAreSkipped)
{
    const NodePtr parent = Node::CreateInstance("a");
    parent->children.push_back(NodePtr());
    parent->children.push_back(Node::CreateInstance("b", "1"));
    EXPECT_EQ(parent->children[1], parent->Child("b"));
    EXPECT_EQ("<a>\n\t<b>1</b>\n</a>\n", Written(*parent));
}

TEST(NodeTest, WritesIndentedLines)
{
    const NodePtr ab = Node::CreateInstance(
        "a", std::vector<NodePtr>{Node::CreateInstance("b", "1"), Node::CreateInstance("c", "2")});
    const NodePtr textAndChild = Node::CreateInstance("a", "t");
    textAndChild->children.push_back(Node::CreateInstance("b", "1"));
    const NodePtr deep = Node::CreateInstance("a", std::vector<NodePtr>{Node::CreateInstance(
                                                       "b", std::vector<NodePtr>{Node::CreateInstance("c", "x")})});
    struct Case {
        const char* name;
        NodePtr node;
        std::string indent;
        int level;
        std::string expected;
    };
    const Case cases[] = {
        {"five lines", ab, "\t", 0, "<a>\n\t<b>1</b>\n\t<c>2</c>\n</a>\n"},
        {"from level 1", ab, "  ", 1, "  <a>\n    <b>1</b>\n    <c>2</c>\n  </a>\n"},
        {"negative level", ab, "\t", -2, "<a>\n<b>1</b>\n<c>2</c>\n</a>\n"},
        {"empty element", Node::CreateInstance("a"), "\t", 0, "<a></a>\n"},
        {"text and children", textAndChild, "\t", 0, "<a>t\n\t<b>1</b>\n</a>\n"},
        {"three levels", deep, "\t", 0, "<a>\n\t<b>\n\t\t<c>x</c>\n\t</b>\n</a>\n"},
        {"no escaping", Node::CreateInstance("a", "x<y&z>"), "", 0, "<a>x<y&z></a>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int option : {0, 1}) {
            std::ostringstream out;
            c.node->Write(out, c.indent, c.level, option);
            EXPECT_EQ(c.expected, out.str());
        }
    }
    // A text holding "<" is written as it stands, so the document does not read back.
    EXPECT_THROW(Parse(Written(*Node::CreateInstance("a", "x<y"))), Orvane::Utility::Exception);
}

TEST(NodeTest, WrittenTreeReadsBackTheSame)
{
    const NodePtr shapes = Node::CreateInstance("root");
    shapes->children.push_back(Node::CreateInstance("empty"));
    shapes->children.push_back(Node::CreateInstance("text", "two  words & more"));
    shapes->children.push_back(Node::CreateInstance("名前", "日本語のテキスト"));
    shapes->children.push_back(Node::CreateInstance("", "empty name"));
    shapes->children.push_back(Node::CreateInstance("with space", "v"));
    shapes->children.push_back(Orvane::Test::NbestElement(2, 3));
    for (const NodePtr& tree : {shapes, Orvane::Test::NbestElement(10, 18)}) {
        const std::string written = Written(*tree);
        const NodePtr read = Parse(written);
        EXPECT_EQ(Dump(*tree), Dump(*read));
        EXPECT_EQ(written, Written(*read));
    }
}

} // namespace
