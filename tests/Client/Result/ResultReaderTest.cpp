#include <memory>
#include <string>
#include <vector>

#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <gtest/gtest.h>

#include "Client/Result/Match.h"
#include "Client/Result/Nbest.h"
#include "Client/Result/NbestReader.h"
#include "Client/Result/SentenceImpl.h"
#include "Client/Result/WordImpl.h"
#include "support/ClientError.h"
#include "support/NbestDocument.h"
#include "support/Owned.h"
#include "support/XmlBuild.h"
#include "Utility/Xml/Parser.h"

namespace {

using Orvane::Client::Result::MatchImpl;
using Orvane::Client::Result::Nbest;
using Orvane::Client::Result::SentenceImpl;
using Orvane::Client::Result::WordImpl;
using Orvane::Test::CatchClientError;
using Orvane::Test::ClientError;
using Orvane::Test::Leaf;
using Orvane::Test::Owned;
using Orvane::Test::Tree;
using Orvane::Test::XmlNode;

const char* const kInvalidResponse = "受信したレスポンスが不正です。詳細=";

enum class Outcome { Read, ClientError, BadNumber };

// What reading an element gave: the client error, or the bad-number failure.
template <typename Read>
Outcome Attempt(Read read, ClientError& error)
{
    try {
        error = CatchClientError(read);
    } catch (const boost::bad_lexical_cast&) {
        return Outcome::BadNumber;
    }
    return error.thrown ? Outcome::ClientError : Outcome::Read;
}

XmlNode Word(std::vector<XmlNode> children)
{
    XmlNode word = Tree("Word");
    word->children = std::move(children);
    return word;
}

TEST(ResultReaderTest, Words)
{
    struct Case {
        const char* name;
        std::vector<XmlNode> children;
        Outcome outcome;
        std::string detail = "";  // of error 4000
        std::string phoneme = "";
        std::string label = "";
        double start = 0.0;
        double end = 0.0;
        double score = 0.0;
    };
    const Case cases[] = {
        {"all five",
         {Leaf("Label", "今日;きょう"), Leaf("StartPoint", "0"), Leaf("EndPoint", "320.5"), Leaf("Phoneme", "ky o u"),
          Leaf("Score", "-95.5")},
         Outcome::Read, "", "ky o u", "今日;きょう", 0, 320.5, -95.5},
        {"any order, first of a name, others ignored",
         {Leaf("Score", "+1.5"), Leaf("Extra", "x"), Leaf("EndPoint", "1e3"), Leaf("Phoneme", "a"), Leaf("Label", "L"),
          Leaf("Label", "second"), Leaf("StartPoint", "-2")},
         Outcome::Read, "", "a", "L", -2, 1000, 1.5},
        {"no Phoneme and no Score", {Leaf("Label", "は"), Leaf("StartPoint", "1"), Leaf("EndPoint", "2")},
         Outcome::Read, "", "", "は", 1, 2, 0.0},
        {"no Label", {Leaf("StartPoint", "1"), Leaf("EndPoint", "2")}, Outcome::ClientError,
         "認識結果にLabelタグが含まれていません。"},
        {"no StartPoint", {Leaf("Label", "a"), Leaf("EndPoint", "2")}, Outcome::ClientError,
         "認識結果にStartPointタグが含まれていません。"},
        {"no EndPoint", {Leaf("Label", "a"), Leaf("StartPoint", "2")}, Outcome::ClientError,
         "認識結果にEndPointタグが含まれていません。"},
        {"start point with trailing letters", {Leaf("Label", "a"), Leaf("StartPoint", "12x"), Leaf("EndPoint", "2")},
         Outcome::BadNumber},
        {"end point with a blank", {Leaf("Label", "a"), Leaf("StartPoint", "1"), Leaf("EndPoint", " 2")},
         Outcome::BadNumber},
        {"empty score", {Leaf("Label", "a"), Leaf("StartPoint", "1"), Leaf("EndPoint", "2"), Leaf("Score", "")},
         Outcome::BadNumber},
        {"decimal comma", {Leaf("Label", "a"), Leaf("StartPoint", "1,5"), Leaf("EndPoint", "2")}, Outcome::BadNumber},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<WordImpl> word;
        ClientError error;
        const Outcome outcome = Attempt([&] { word.reset(new WordImpl(Word(c.children))); }, error);
        ASSERT_EQ(c.outcome, outcome) << error;
        if (outcome == Outcome::ClientError) {
            EXPECT_EQ("Orvane::Client", error.type);
            EXPECT_EQ(4000, error.number);
            EXPECT_EQ(kInvalidResponse + c.detail, error.message);
        } else if (outcome == Outcome::Read) {
            EXPECT_EQ(c.phoneme, word->GetPhoneme());
            EXPECT_EQ(c.label, word->GetLabel());
            EXPECT_EQ(c.start, word->GetStartPoint());
            EXPECT_EQ(c.end, word->GetEndPoint());
            EXPECT_EQ(c.score, word->GetScore());
        }
    }
}

XmlNode GoodWord(const std::string& label)
{
    return Tree("Word", {Leaf("Label", label), Leaf("StartPoint", "0"), Leaf("EndPoint", "1")});
}

TEST(ResultReaderTest, Sentences)
{
    SentenceImpl sentence(Tree("Sentence", {GoodWord("a"), Leaf("Note", "x"), Leaf("Score", "-12.25"), GoodWord("b"),
                                            Leaf("Score", "99")}));
    EXPECT_EQ(-12.25, sentence.GetScore());
    ASSERT_EQ(2u, sentence.GetWords().size());
    EXPECT_EQ("a", sentence.GetWords()[0]->GetImpl()->GetLabel());
    EXPECT_EQ("b", sentence.GetWords()[1]->GetImpl()->GetLabel());

    SentenceImpl empty(Tree("Sentence", {Leaf("Score", "0")}));
    EXPECT_TRUE(empty.GetWords().empty());

    ClientError error;
    EXPECT_EQ(Outcome::ClientError, Attempt([] { SentenceImpl s(Tree("Sentence", {GoodWord("a")})); }, error));
    EXPECT_EQ(4000, error.number);
    EXPECT_EQ(std::string(kInvalidResponse) + "認識結果にScoreタグが含まれていません。", error.message);
    EXPECT_EQ(Outcome::BadNumber, Attempt([] { SentenceImpl s(Tree("Sentence", {Leaf("Score", "x")})); }, error));
}

TEST(ResultReaderTest, NbestReadsSentencesInOrderAndFailsWhole)
{
    Owned<Nbest> nbest(new Nbest(Orvane::Test::NbestElement(3, 4)));
    ASSERT_EQ(3, nbest->GetCount());
    Owned<Orvane::Result::Sentence> second(nbest->GetSentence(1));
    EXPECT_EQ(-1520.25 - 3.5, second->GetScore());
    EXPECT_EQ(4, second->GetCount());
    Owned<Orvane::Result::Word> word(second->GetWord(0));
    EXPECT_STREQ("は", word->GetLabel());

    // Other children and the element's own name are not looked at.
    Owned<Nbest> other(
        new Nbest(Tree("Result", {Leaf("Comment", "x"), Tree("Sentence", {Leaf("Score", "1")})})));
    EXPECT_EQ(1, other->GetCount());
    Owned<Nbest> none(new Nbest(Tree("Nbest")));
    EXPECT_EQ(0, none->GetCount());

    // A bad word in the last sentence fails the whole result (and frees what was built).
    XmlNode broken = Orvane::Test::NbestElement(2, 3);
    broken->children.back()->children.push_back(Tree("Word", {Leaf("StartPoint", "0"), Leaf("EndPoint", "1")}));
    ClientError error;
    EXPECT_EQ(Outcome::ClientError, Attempt([&] { Nbest n(broken); }, error));
    EXPECT_EQ(std::string(kInvalidResponse) + "認識結果にLabelタグが含まれていません。", error.message);
}

// A notification document whose ArgumentList holds a time and an Nbest of `sentences`.
std::string EndPointDocument(const std::string& sentences)
{
    return "<Notification><Kind>GrammarListener::EndPoint</Kind><ArgumentList><Double>1</Double><Nbest>" +
           sentences + "</Nbest></ArgumentList></Notification>";
}

std::string SentenceText(const std::string& score, const std::string& words)
{
    return "<Sentence>" + (score.empty() ? std::string() : "<Score>" + score + "</Score>") + words + "</Sentence>";
}

std::string WordText(const std::string& label)
{
    return "<Word>" + (label.empty() ? std::string() : "<Label>" + label + "</Label>") +
           "<StartPoint>1</StartPoint><EndPoint>2</EndPoint><Phoneme>a</Phoneme><Score>-3.5</Score></Word>";
}

// The Nbest element of a notification document parsed with a result reader, or without.
XmlNode ParsedNbest(const std::string& document, Orvane::Client::Result::NbestReader* reader)
{
    Orvane::Utility::Xml::Parser parser(document.data(), static_cast<std::uint32_t>(document.size()), 0);
    if (reader != nullptr) {
        parser.SetElementHook([reader](const std::vector<const Orvane::Utility::Xml::Node*>& open,
                                       const XmlNode& element) { return reader->Take(open, element); });
    }
    return parser.Parse()->Child("ArgumentList")->Child("Nbest");
}

TEST(ResultReaderTest, ReadingWhileParsingGivesWhatTheTreeGives)
{
    const std::string document =
        EndPointDocument(SentenceText("-10.5", WordText("今日;きょう") + "<Note>x</Note>" + WordText("天 気") +
                                                   WordText("は")) +
                         SentenceText("-12", "") + "<Comment>c</Comment>");
    Orvane::Client::Result::NbestReader reader;
    const XmlNode streamed = ParsedNbest(document, &reader);
    // The words and sentences left the tree as they were read.
    ASSERT_EQ(1u, streamed->children.size());
    EXPECT_EQ("Comment", streamed->children[0]->name);
    Owned<Nbest> read(new Nbest(reader.Result(*streamed)));
    Owned<Nbest> fromTree(new Nbest(ParsedNbest(document, nullptr)));
    EXPECT_EQ(2, read->GetCount());
    EXPECT_STREQ(fromTree->ToXML(), read->ToXML());
    EXPECT_STREQ(fromTree->ToString(), read->ToString());
    // An Nbest element the reader did not read gets no result from it.
    const XmlNode other = ParsedNbest(document, nullptr);
    EXPECT_FALSE(reader.Result(*other));
}

TEST(ResultReaderTest, ReadingWhileParsingFailsAsReadingTheTreeFails)
{
    struct Case {
        const char* name;
        std::string sentences;
    };
    const Case cases[] = {
        {"a word without Label in the second sentence",
         SentenceText("1", WordText("a")) + SentenceText("2", WordText("b") + WordText(""))},
        // The sentence's own Score is read before its words.
        {"no Score, and a word without Label", SentenceText("", WordText(""))},
        {"a bad Score after a bad word", SentenceText("1", WordText("")) + SentenceText("x", WordText("a"))},
        {"a bad Score", SentenceText("1.2.3", WordText("a"))},
        {"the first of two bad sentences", SentenceText("", "") + SentenceText("1", WordText(""))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string document = EndPointDocument(c.sentences);
        ClientError fromTree;
        const Outcome expected = Attempt([&] { Nbest n(ParsedNbest(document, nullptr)); }, fromTree);
        ASSERT_NE(Outcome::Read, expected);
        Orvane::Client::Result::NbestReader reader;
        const XmlNode streamed = ParsedNbest(document, &reader);
        ClientError read;
        EXPECT_EQ(expected, Attempt([&] { reader.Result(*streamed); }, read));
        EXPECT_EQ(fromTree.number, read.number);
        EXPECT_EQ(fromTree.message, read.message);
    }
}

TEST(ResultReaderTest, Matches)
{
    MatchImpl match(Tree("Match", {Leaf("Score", "0.75"), Leaf("Name", "はい")}));
    EXPECT_EQ("はい", match.GetName());
    EXPECT_EQ(0.75, match.GetScore());

    struct Case {
        const char* name;
        XmlNode element;
        Outcome outcome;
        const char* detail;
    };
    const Case cases[] = {
        {"no Name", Tree("Match", {Leaf("Score", "1")}), Outcome::ClientError,
         "パターンマッチ結果にNameタグが含まれていません。"},
        {"no Score", Tree("Match", {Leaf("Name", "a")}), Outcome::ClientError,
         "パターンマッチ結果にScoreタグが含まれていません。"},
        {"bad Score", Tree("Match", {Leaf("Name", "a"), Leaf("Score", "0.5.1")}), Outcome::BadNumber, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClientError error;
        ASSERT_EQ(c.outcome, Attempt([&] { MatchImpl m(c.element); }, error));
        if (c.outcome == Outcome::ClientError) {
            EXPECT_EQ(4000, error.number);
            EXPECT_EQ(std::string(kInvalidResponse) + c.detail, error.message);
        }
    }
}

} // namespace
