#pragma once

#include <map>
#include <string>

#include <boost/function.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include "Utility/Http/RequestInformation.h"
#include "Utility/Http/ResponseInformation.h"

namespace Orvane {
namespace Utility {
namespace Http {

// Incremental HTTP/1.0 reader. It is handed all bytes received so far, the first byte
// being the first byte of the message being read, resumes where it stopped and reports a
// message only when all of it (start line, header lines and the Content-Length body) is
// present. Multipart parts carry their own Content-Length. Body bytes are never copied:
// parts point into the bytes handed over.
//
// A header block over kMaxHeaderBlock bytes or a message over kMaxMessage bytes is a
// malformed message, so a peer cannot make the receive buffer grow without bound.
class Parser : private boost::noncopyable {
public:
    static constexpr unsigned int kMaxHeaderBlock = 64u * 1024;
    static constexpr unsigned int kMaxMessage = 64u * 1024 * 1024;

    enum Kind { KindUndetermined = 0, KindRequest = 1, KindResponse = 2 };
    enum State {
        StateStartLine = 0,
        StateHeaderLines = 1,
        StateBodyWait = 2,
        StateSingleBody = 3,
        StateBoundary = 4,
        StatePartHeader = 5,
        StatePartData = 6,
        StateComplete = 7,
    };

    // Called with the offset just past a complete message, counted from the `data`
    // given to ParseMessages; the message is in GetKind(), GetRequest(), GetResponse().
    typedef boost::function<void(unsigned int end)> DeliverFunction;

    Parser();
    virtual ~Parser();

    // Reads on in `size` bytes at `data`. Returns true when the message is complete
    // (state 7), false when more bytes are needed. A malformed message raises error 47;
    // a parser still holding a complete message raises error 2.
    bool Parse(const unsigned char* data, unsigned int size);

    // The receive step: reads every complete message at the front of `data`, calling
    // `deliver` for each and resetting after it, and returns the bytes those messages
    // took. The caller drops them from its receive buffer once, after the call: dropping
    // after every message would move the rest of a long pipelined read once per message.
    // What `deliver` raises passes through, the parser then staying complete.
    unsigned int ParseMessages(const unsigned char* data, unsigned int size, const DeliverFunction& deliver);

    // Fresh empty messages and the start state; holders of the old messages keep them.
    void Reset();

    int GetKind() const { return kind_; }
    // True after a malformed-message error raised for a header block or a message beyond
    // the limits above.
    bool LimitExceeded() const { return limitExceeded_; }
    int GetState() const { return state_; }
    // The offset just past the message (body start + Content-Length).
    unsigned int GetMessageEnd() const { return messageEnd_; }
    const boost::shared_ptr<RequestInformation>& GetRequest() const { return request_; }
    const boost::shared_ptr<ResponseInformation>& GetResponse() const { return response_; }

    // The finished message for delivery: error 2 unless complete (and, for the
    // response, unless the message is a reply).
    boost::shared_ptr<RequestInformation> CompletedRequest() const;
    boost::shared_ptr<ResponseInformation> CompletedResponse() const;

    // Reads a start line (CR excluded) into the request or the response and sets the kind.
    void ExtractStartLine(const unsigned char* begin, const unsigned char* end);
    // One delimiter step at the scan position: true when a part follows, false after the
    // closing delimiter.
    bool ParseMultipartBodyBoundary(const unsigned char* data, unsigned int size);
    // One part-header line at the scan position; always true when it does not raise.
    bool ParseMultipartBodyHeader(const unsigned char* data, unsigned int size);
    // Stores one part header line (CR excluded) in the part headers.
    void ExtractMultipartBodyHeader(const unsigned char* begin, const unsigned char* end);

private:
    bool FindLineEnd(const unsigned char* data, unsigned int size, unsigned int& lineFeed);
    bool ParseStartLine(const unsigned char* data, unsigned int size);
    bool ParseHeaderLine(const unsigned char* data, unsigned int size);
    void EndHeaderLines(unsigned int bodyStart);
    bool ParseBodyWait(const unsigned char* data, unsigned int size);
    void ParseSingleBody(const unsigned char* data);
    void ParsePartData(const unsigned char* data, unsigned int size);
    // The request or the reply being parsed, by the kind of the start line.
    MessageInformation& Message() const;

    boost::shared_ptr<RequestInformation> request_;
    boost::shared_ptr<ResponseInformation> response_;
    unsigned int scanPosition_;
    unsigned int lineStart_;
    unsigned int contentLength_;
    unsigned int bodyStart_;
    unsigned int messageEnd_;
    int kind_;
    int state_;
    std::string boundary_;
    unsigned int partStart_;
    unsigned int partLength_;
    std::map<std::string, std::string> partHeaders_;
    bool limitExceeded_;
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
