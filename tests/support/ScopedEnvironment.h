#pragma once

#include <string>

namespace Orvane {
namespace Test {

// Sets an environment variable for its lifetime and restores the former value after.
// Set it before the test starts threads that read the environment.
class ScopedEnvironment {
public:
    ScopedEnvironment(const std::string& name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    bool hadValue_;
    std::string oldValue_;
};

} // namespace Test
} // namespace Orvane
