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
    boost::system::error_code code(ErrorCategory::ThreadFailed, category);
    EXPECT_EQ(41, code.value());
    EXPECT_EQ("Pellum error", code.message());
    EXPECT_TRUE(code);
}

} // namespace
