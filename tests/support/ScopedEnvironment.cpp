#include "support/ScopedEnvironment.h"

#include <cstdlib>

namespace Orvane {
namespace Test {

ScopedEnvironment::ScopedEnvironment(const std::string& name, const std::string& value)
    : name_(name), hadValue_(false)
{
    if (const char* old = std::getenv(name.c_str())) {
        hadValue_ = true;
        oldValue_ = old;
    }
    ::setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (hadValue_) {
        ::setenv(name_.c_str(), oldValue_.c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

} // namespace Test
} // namespace Orvane
