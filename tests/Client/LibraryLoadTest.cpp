// libTessival loaded at run time, as an application without link-time knowledge of it
// would: only the factories' plain names are looked up.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <string>

#include "Orvane/Exception.h"
#include "Orvane/Session.h"

namespace {

typedef Orvane::Session* (*CreateSessionFunction)();
typedef Orvane::Session* (*CreateSession2Function)(const char*);
typedef Orvane::Recognizer* (*CreateRecognizerFunction)();

template <typename Function>
Function Resolve(void* library, const char* name)
{
    return reinterpret_cast<Function>(dlsym(library, name));
}

TEST(LibraryLoadTest, TheFactoriesResolveByTheirPlainNamesAndErrorsCrossTheBoundary)
{
    // Left loaded: the library's process-wide logger lives until the process ends.
    void* library = dlopen(TESSIVAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    const auto createSession = Resolve<CreateSessionFunction>(library, "CreateSession");
    const auto createSession2 = Resolve<CreateSession2Function>(library, "CreateSession2");
    const auto createRecognizer = Resolve<CreateRecognizerFunction>(library, "CreateRecognizer");
    const auto createRecognizer2 = Resolve<CreateRecognizerFunction>(library, "CreateRecognizer2");
    ASSERT_NE(nullptr, createSession);
    ASSERT_NE(nullptr, createSession2);
    ASSERT_NE(nullptr, createRecognizer);
    ASSERT_NE(nullptr, createRecognizer2);
    EXPECT_EQ(nullptr, createRecognizer());
    EXPECT_EQ(nullptr, createRecognizer2());

    Orvane::Session* session = createSession2("shift_jis");
    ASSERT_NE(nullptr, session);
    EXPECT_STREQ("3.0.0.0 [Nov 25 2015 05:18:16]", session->GetParameter("QUOR:Version"));
    bool caught = false;
    try {
        session->SetParameter("QUOR:ConnectTimer", "0");
    } catch (Orvane::Exception* error) {
        caught = true;
        EXPECT_STREQ("Orvane::Client", error->GetType());
        EXPECT_EQ(7000, error->GetErrorNo());
        EXPECT_EQ(std::string("内部エラーが発生しました。詳細=タイマに不正な値が指定されました。"), error->GetErrorMessage());
        error->Release();
    }
    EXPECT_TRUE(caught);
    session->Release();

    session = createSession();
    ASSERT_NE(nullptr, session);
    EXPECT_STREQ("3000", session->GetParameter("QUOR:ConnectTimer"));
    session->Release();
}

} // namespace
