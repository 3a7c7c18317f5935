#include "Utility/ErrorCategory.h"

#include <boost/system/error_code.hpp>
#include <gtest/gtest.h>

namespace {

using Orvane::Utility::ErrorCategory;

TEST(ErrorCategoryTest, NameAndMessage)
{
    const ErrorCategory& category = ErrorCategory::GetInstance();
    EXPECT_EQ(&category, &ErrorCategory::GetInstance());
    EXPECT_STREQ("Pellum", category.name());
    for (int value : {41, 0, -1, 1000}) {
        EXPECT_EQ("Pellum error", category.message(value)) << value;
    }
    // What was wrong with a message being received is said in its own words.
    const struct {
        int value;
        const char* words;
    } messages[] = {
        {ErrorCategory::MessageMalformed, "形式が不正"},
        {ErrorCategory::MessageTooLarge, "上限"},
        {ErrorCategory::MessageTruncated, "切断"},
        {ErrorCategory::MessageStalled, "受信タイマ"},
    };
    for (const auto& m : messages) {
        EXPECT_NE(std::string::npos, category.message(m.value).find(m.words)) << m.value;
    }
    boost::system::error_code code(ErrorCategory::ThreadFailed, category);
    EXPECT_EQ(41, code.value());
    EXPECT_EQ("Pellum error", code.message());
    EXPECT_TRUE(code);
}

} // namespace
