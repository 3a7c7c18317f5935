#include <gtest/gtest.h>

#include "Orvane/GrammarListener.h"
#include "Orvane/RecognizerListener.h"
#include "Orvane/SessionListener.h"

namespace {

// Listeners that override nothing accept every event silently.
TEST(PublicInterfaceTest, ListenerDefaults)
{
    Orvane::GrammarListener grammar;
    grammar.StartPoint(1.0);
    grammar.EndPoint(2.0, "id", nullptr);
    grammar.TempPoint(3.0, nullptr, nullptr);
    EXPECT_STREQ("", grammar.GetRecognitionID());
    grammar.Release();

    Orvane::RecognizerListener recognizer;
    recognizer.Error(nullptr);
    recognizer.SentenceEnd();
    recognizer.Completed();
    recognizer.Match(nullptr);
    recognizer.Startable();
    recognizer.Release();

    Orvane::SessionListener session;
    session.Error(nullptr);
    session.Release();
}

} // namespace
