#pragma once

#include <exception>
#include <string>

namespace Orvane {
namespace Utility {
namespace Vad {

// The engine wrapper's error: the speech-boundary manager's message, with an optional
// source location.
class OSTRELError : public std::exception {
public:
    explicit OSTRELError(const std::string& message);
    OSTRELError(const std::string& message, const char* file, const char* function, int line);
    ~OSTRELError() noexcept override;

    const char* what() const noexcept override;
    const char* __str__() const noexcept;
    const char* getFileName() const;
    const char* getFunctionName() const;
    int getLineNumber() const;

private:
    std::string message_;
    const char* file_;
    const char* function_;
    int line_;
};

} // namespace Vad
} // namespace Utility
} // namespace Orvane
