#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "Client/Result/Match.h"
#include "Client/Result/Nbest.h"
#include "support/ClientError.h"
#include "support/NbestDocument.h"
#include "support/Owned.h"
#include "support/XmlBuild.h"

namespace {

using Orvane::Client::Result::Match;
using Orvane::Client::Result::Nbest;
using Orvane::Test::CatchClientError;
using Orvane::Test::ClientError;
using Orvane::Test::Leaf;
using Orvane::Test::Owned;
using Orvane::Test::Tree;

TEST(ResultObjectsTest, IndexOutsideTheListFailsWith4000)
{
    Owned<Nbest> nbest(new Nbest(Orvane::Test::NbestElement(2, 3)));
    Owned<Orvane::Result::Sentence> sentence(nbest->GetSentence(0));
    struct Case {
        const char* name;
        std::function<void()> take;
        const char* detail;
    };
    const Case cases[] = {
        {"word -1", [&] { sentence->GetWord(-1); }, "単語の取得に失敗しました。"},
        {"word at count", [&] { sentence->GetWord(sentence->GetCount()); }, "単語の取得に失敗しました。"},
        {"word at the lowest int", [&] { sentence->GetWord(-2147483647 - 1); }, "単語の取得に失敗しました。"},
        {"sentence -1", [&] { nbest->GetSentence(-1); }, "文候補の取得に失敗しました。"},
        {"sentence at count", [&] { nbest->GetSentence(nbest->GetCount()); }, "文候補の取得に失敗しました。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ClientError error = CatchClientError(c.take);
        EXPECT_EQ("Orvane::Client", error.type);
        EXPECT_EQ(4000, error.number);
        EXPECT_EQ(std::string("受信したレスポンスが不正です。詳細=") + c.detail, error.message);
    }
    Owned<Orvane::Result::Word> last(sentence->GetWord(sentence->GetCount() - 1));
    EXPECT_STREQ("東京", last->GetLabel());
}

TEST(ResultObjectsTest, UnsupportedGettersFailWith7001)
{
    Owned<Nbest> nbest(new Nbest(Tree("Nbest")));
    const std::function<void()> getters[] = {
        [&] { nbest->GetGender(); },
        [&] { nbest->GetStartNumSamples(); },
        [&] { nbest->GetEndNumSamples(); },
        [&] { nbest->GetFilterFlag(); },
    };
    for (const auto& getter : getters) {
        const ClientError error = CatchClientError(getter);
        EXPECT_EQ(7001, error.number);
        EXPECT_EQ("指定された処理は未サポートです。", error.message);
    }
}

// Copies share the data: each stays usable after the object it came from is released.
TEST(ResultObjectsTest, CopiesOutliveTheirSource)
{
    Nbest* original = new Nbest(Orvane::Test::NbestElement(2, 2));
    const std::string text = original->ToString();
    Owned<Orvane::Result::Nbest> duplicate(original->Duplicate());
    Owned<Orvane::Result::Sentence> sentence(original->GetSentence(1));
    original->Release();

    EXPECT_EQ(text, duplicate->ToString());
    EXPECT_EQ(2, duplicate->GetCount());
    Owned<Orvane::Result::Word> word(sentence->GetWord(1));
    sentence.reset();
    EXPECT_STREQ("東京", word->GetLabel());
    EXPECT_STREQ("t o u ky o u", word->GetPhoneme());
    EXPECT_EQ(320.0, word->GetStartPoint());
    EXPECT_EQ(620.0, word->GetEndPoint());
    EXPECT_EQ(-94.5, word->GetScore());

    Match* match = new Match(Tree("Match", {Leaf("Name", "はい"), Leaf("Score", "12.5")}));
    Owned<Match> copy(match->Duplicate());
    match->Release();
    EXPECT_STREQ("はい", copy->GetName());
    EXPECT_EQ(12.5, copy->GetScore());
}

} // namespace
