#pragma once

#include <exception>
#include <string>

#include <boost/shared_ptr.hpp>

#include "Orvane/Exception.h"

namespace Orvane {
namespace Utility {
namespace Xml {
class Node;
} // namespace Xml
} // namespace Utility

namespace Client {

// The recognition client's error, created with new and thrown as a pointer; the catcher
// frees it with Release. The helper builds it for its own errors too.
class Exception : public Orvane::Exception, public std::exception {
public:
    Exception(const char* type, int errorNo, const char* message);
    // The message is `format` with its one placeholder filled with `detail`; a format that cannot
    // be filled is kept as the message unchanged.
    Exception(const char* type, int errorNo, const char* format, const char* detail);
    Exception(const char* type, int errorNo, const char* format, const std::string& detail);
    // A server error read from its Exception element: the texts of the children Type,
    // Errno (a decimal int) and Errmsg. A missing child or an Errno that is not a number
    // throws (Utility::Exception or boost::bad_lexical_cast), which marks the reply or
    // notification that carried it as malformed.
    explicit Exception(const boost::shared_ptr<Utility::Xml::Node>& element);

    Exception(const Exception&) = delete;
    Exception& operator=(const Exception&) = delete;

    void Release() override;
    const char* GetType() override;
    int GetErrorNo() override;
    const char* GetErrorMessage() override;
    const char* what() const noexcept override;

    // True for an error read from the server's element: its texts are the server's own,
    // already in the session's encoding.
    bool IsFromServer() const { return fromServer_; }

    // A new error with the same texts and number; a server's error stays marked as such.
    Exception* Copy() const;
    // A copy of any public error: a client error keeps its server mark, another one is
    // read through the public interface.
    static Exception* CopyOf(Orvane::Exception& error);

protected:
    Exception();
    ~Exception() override;

    std::string type_;
    int errorNo_;
    std::string message_;
    bool fromServer_ = false;
};

} // namespace Client
} // namespace Orvane
