#include "Utility/Http/Parser.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <boost/lexical_cast.hpp>

#include "Utility/Http/Errors.h"
#include "Utility/Http/HeaderText.h"
#include "Utility/Http/Utility.h"

namespace Orvane {
namespace Utility {
namespace Http {
namespace {

const unsigned char* FindByte(const unsigned char* begin, const unsigned char* end, unsigned char byte)
{
    if (begin >= end) {
        return nullptr;
    }
    return static_cast<const unsigned char*>(std::memchr(begin, byte, static_cast<std::size_t>(end - begin)));
}

bool StartsWith(const unsigned char* begin, const unsigned char* end, const char* prefix)
{
    const std::size_t length = std::strlen(prefix);
    return static_cast<std::size_t>(end - begin) >= length && std::memcmp(begin, prefix, length) == 0;
}

// A length is decimal digits only: no sign, no blanks. A value beyond kMaxMessage reads
// as kMaxMessage + 1, which every caller refuses, so nothing overflows.
unsigned int ReadLength(const std::string& text, const ErrorText& error)
{
    if (text.empty()) {
        throw MakeError(error, "empty value");
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            throw MakeError(error, "not an unsigned decimal number");
        }
        value = std::min<std::uint64_t>(value * 10 + static_cast<unsigned int>(c - '0'),
                                        std::uint64_t(Parser::kMaxMessage) + 1);
    }
    return static_cast<unsigned int>(value);
}

// A repeated Content-Length must give the same length: two that differ leave the end of
// the message or part in doubt. `headers` holds the lines before this one.
void RefuseLengthConflict(const std::map<std::string, std::string>& headers, const unsigned char* nameBegin,
                          const unsigned char* nameEnd, const unsigned char* valueBegin,
                          const unsigned char* valueEnd, const ErrorText& lengthError)
{
    const auto first = headers.find("content-length");
    if (first == headers.end() || detail::LowerCase(nameBegin, nameEnd) != first->first) {
        return;
    }
    const std::string value = detail::TrimSpaces(valueBegin, valueEnd);
    if (ReadLength(first->second, lengthError) != ReadLength(value, lengthError)) {
        throw MakeError(Errors::kConflictingContentLength, first->second, value);
    }
}

} // namespace

Parser::Parser()
    : request_(new RequestInformation), response_(new ResponseInformation), scanPosition_(0),
      lineStart_(0), contentLength_(0), bodyStart_(0), messageEnd_(0), kind_(KindUndetermined),
      state_(StateStartLine), partStart_(0), partLength_(0), limitExceeded_(false)
{
}

Parser::~Parser() = default;

bool Parser::Parse(const unsigned char* data, unsigned int size)
{
    if (state_ == StateComplete) {
        throw MakeError(Errors::kParseAlreadyComplete);
    }
    try {
        for (;;) {
            switch (state_) {
            case StateStartLine:
                if (!ParseStartLine(data, size)) {
                    return false;
                }
                break;
            case StateHeaderLines:
                if (!ParseHeaderLine(data, size)) {
                    return false;
                }
                break;
            case StateBodyWait:
                if (!ParseBodyWait(data, size)) {
                    return false;
                }
                break;
            case StateSingleBody:
                ParseSingleBody(data);
                break;
            case StateBoundary:
                ParseMultipartBodyBoundary(data, size);
                break;
            case StatePartHeader:
                ParseMultipartBodyHeader(data, size);
                break;
            case StatePartData:
                ParsePartData(data, size);
                break;
            default:
                return true;
            }
        }
    } catch (const std::exception& e) {
        throw MakeError(Errors::kParseFailed, e.what());
    }
}

unsigned int Parser::ParseMessages(const unsigned char* data, unsigned int size, const DeliverFunction& deliver)
{
    unsigned int consumed = 0;
    while (consumed < size && Parse(data + consumed, size - consumed)) {
        const unsigned int end = consumed + messageEnd_;
        deliver(end);
        Reset();
        consumed = end;
    }
    return consumed;
}

void Parser::Reset()
{
    request_.reset(new RequestInformation);
    response_.reset(new ResponseInformation);
    scanPosition_ = 0;
    lineStart_ = 0;
    contentLength_ = 0;
    bodyStart_ = 0;
    messageEnd_ = 0;
    kind_ = KindUndetermined;
    state_ = StateStartLine;
    boundary_.clear();
    partStart_ = 0;
    partLength_ = 0;
    partHeaders_.clear();
    limitExceeded_ = false;
}

boost::shared_ptr<RequestInformation> Parser::CompletedRequest() const
{
    if (state_ != StateComplete) {
        throw MakeError(Errors::kParseNotComplete);
    }
    return request_;
}

boost::shared_ptr<ResponseInformation> Parser::CompletedResponse() const
{
    if (state_ != StateComplete) {
        throw MakeError(Errors::kParseNotComplete);
    }
    if (kind_ != KindResponse) {
        throw MakeError(Errors::kParsedNotResponse);
    }
    return response_;
}

// Searches for the LF of the current line within the header block, resuming at the scan
// position so that no byte is searched twice.
bool Parser::FindLineEnd(const unsigned char* data, unsigned int size, unsigned int& lineFeed)
{
    const unsigned int limit = std::min(size, kMaxHeaderBlock);
    if (const unsigned char* found = FindByte(data + scanPosition_, data + limit, '\n')) {
        lineFeed = static_cast<unsigned int>(found - data);
        return true;
    }
    if (size >= kMaxHeaderBlock) {
        limitExceeded_ = true;
        throw MakeError(Errors::kHeaderBlockTooLarge, kMaxHeaderBlock);
    }
    scanPosition_ = std::max(scanPosition_, limit);
    return false;
}

bool Parser::ParseStartLine(const unsigned char* data, unsigned int size)
{
    unsigned int lineFeed = 0;
    if (!FindLineEnd(data, size, lineFeed)) {
        return false;
    }
    if (lineFeed == 0 || data[lineFeed - 1] != '\r') {
        throw MakeError(Errors::kStartLineNotCrlf);
    }
    ExtractStartLine(data, data + lineFeed - 1);
    lineStart_ = scanPosition_ = lineFeed + 1;
    state_ = StateHeaderLines;
    return true;
}

bool Parser::ParseHeaderLine(const unsigned char* data, unsigned int size)
{
    unsigned int lineFeed = 0;
    if (!FindLineEnd(data, size, lineFeed)) {
        return false;
    }
    if (lineFeed == lineStart_ || data[lineFeed - 1] != '\r') {
        throw MakeError(Errors::kHeaderLineNotCrlf);
    }
    if (lineFeed - 1 == lineStart_) {
        EndHeaderLines(lineFeed + 1);
        return true;
    }
    const unsigned char* begin = data + lineStart_;
    const unsigned char* end = data + lineFeed - 1;
    const unsigned char* colon = FindByte(begin, end, ':');
    if (colon == nullptr) {
        throw MakeError(Errors::kNoHeaderSeparator);
    }
    const unsigned int nameLength = static_cast<unsigned int>(colon - begin);
    const unsigned int valueLength = static_cast<unsigned int>(end - colon - 1);
    RefuseLengthConflict(Message().headers, begin, colon, colon + 1, end, Errors::kBadContentLength);
    Message().AddHeader(begin, nameLength, colon + 1, valueLength);
    lineStart_ = scanPosition_ = lineFeed + 1;
    return true;
}

void Parser::EndHeaderLines(unsigned int bodyStart)
{
    const std::map<std::string, std::string>& headers = Message().headers;
    const auto length = headers.find("content-length");
    contentLength_ = length == headers.end() ? 0 : ReadLength(length->second, Errors::kBadContentLength);
    if (std::uint64_t(bodyStart) + contentLength_ > kMaxMessage) {
        limitExceeded_ = true;
        throw MakeError(Errors::kMessageTooLarge, kMaxMessage);
    }
    bodyStart_ = bodyStart;
    messageEnd_ = bodyStart + contentLength_;
    scanPosition_ = bodyStart;
    state_ = StateBodyWait;
}

bool Parser::ParseBodyWait(const unsigned char* /*data*/, unsigned int size)
{
    if (size < messageEnd_) {
        return false;
    }
    const std::map<std::string, std::string>& headers = Message().headers;
    const auto type = headers.find("content-type");
    if (type == headers.end()) {
        state_ = StateComplete;
        return true;
    }
    std::string mediaType = type->second.substr(0, type->second.find(';'));
    mediaType.erase(mediaType.find_last_not_of(' ') + 1);
    mediaType = detail::LowerCase(mediaType);
    if (mediaType == "multipart/form-data") {
        std::map<std::string, std::string> parameters;
        Utility::GetHeaderValueParameter(type->second, parameters);
        boundary_ = Utility::GetValue(parameters, "boundary");
        state_ = StateBoundary;
    } else if (mediaType == "text/plain" || mediaType == "text/html" || mediaType == "text/xml" ||
               mediaType == "audiodata") {
        state_ = StateSingleBody;
    } else {
        state_ = StateComplete;
    }
    return true;
}

void Parser::ParseSingleBody(const unsigned char* data)
{
    Message().bodyParts.push_back(BodyPartInformation(data + bodyStart_, contentLength_));
    state_ = StateComplete;
}

// States 4 to 6 run only once the whole message is present, and read nothing beyond the
// message end: bytes of a following message must not decide this one, or the result
// would depend on how the bytes were split into reads.
bool Parser::ParseMultipartBodyBoundary(const unsigned char* data, unsigned int size)
{
    const unsigned int bound = std::min(size, messageEnd_);
    const std::size_t delimiterLength = boundary_.size() + 2;
    if (scanPosition_ > bound || bound - scanPosition_ < delimiterLength + 2) {
        throw MakeError(Errors::kBoundaryMismatch);
    }
    const unsigned char* delimiter = data + scanPosition_;
    if (delimiter[0] != '-' || delimiter[1] != '-' ||
        std::memcmp(delimiter + 2, boundary_.data(), boundary_.size()) != 0) {
        throw MakeError(Errors::kBoundaryMismatch);
    }
    const unsigned char* after = delimiter + delimiterLength;
    scanPosition_ = partStart_ = scanPosition_ + static_cast<unsigned int>(delimiterLength) + 2;
    if (after[0] == '-' && after[1] == '-') {
        state_ = StateComplete;
        return false;
    }
    if (after[0] != '\r' || after[1] != '\n') {
        throw MakeError(Errors::kBoundaryMismatch);
    }
    state_ = StatePartHeader;
    if (scanPosition_ >= messageEnd_) {
        throw MakeError(Errors::kBadMultipart);
    }
    return true;
}

bool Parser::ParseMultipartBodyHeader(const unsigned char* data, unsigned int size)
{
    const unsigned int bound = std::min(size, messageEnd_);
    const unsigned char* lineFeed = FindByte(data + scanPosition_, data + bound, '\n');
    if (lineFeed == nullptr || lineFeed == data + scanPosition_ || lineFeed[-1] != '\r') {
        throw MakeError(Errors::kPartHeaderNotCrlf);
    }
    const unsigned int next = static_cast<unsigned int>(lineFeed - data) + 1;
    if (lineFeed - 1 == data + scanPosition_) {
        state_ = StatePartData;
        partLength_ = ReadLength(Utility::GetValue(partHeaders_, "content-length"), Errors::kBadPartContentLength);
    } else {
        ExtractMultipartBodyHeader(data + scanPosition_, lineFeed - 1);
        if (next == messageEnd_) {
            throw MakeError(Errors::kNoPartDataSeparator);
        }
    }
    scanPosition_ = next;
    if (scanPosition_ >= messageEnd_) {
        throw MakeError(Errors::kBadMultipart);
    }
    return true;
}

void Parser::ExtractMultipartBodyHeader(const unsigned char* begin, const unsigned char* end)
{
    const unsigned char* colon = FindByte(begin, end, ':');
    if (colon == nullptr) {
        throw MakeError(Errors::kNoPartHeaderSeparator);
    }
    RefuseLengthConflict(partHeaders_, begin, colon, colon + 1, end, Errors::kBadPartContentLength);
    std::string name;
    std::string value;
    detail::InsertHeader(partHeaders_, begin, colon, colon + 1, end, name, value);
}

void Parser::ParsePartData(const unsigned char* data, unsigned int size)
{
    const unsigned int bound = std::min(size, messageEnd_);
    const std::uint64_t dataEnd = std::uint64_t(scanPosition_) + partLength_;
    if (dataEnd > bound) {
        throw MakeError(Errors::kBadPartLengthValue);
    }
    if (dataEnd + 2 > bound || data[dataEnd] != '\r' || data[dataEnd + 1] != '\n') {
        throw MakeError(Errors::kPartDataNotCrlf);
    }
    boost::shared_ptr<BodyPartInformationData> information(
        new BodyPartInformationData(data + partStart_, static_cast<unsigned int>(dataEnd) - partStart_));
    information->data = data + scanPosition_;
    information->dataLength = partLength_;
    information->partHeaders = partHeaders_;
    Message().bodyParts.push_back(BodyPartInformation(information));
    partStart_ = 0;
    partLength_ = 0;
    partHeaders_.clear();
    scanPosition_ = static_cast<unsigned int>(dataEnd) + 2;
    state_ = StateBoundary;
    if (scanPosition_ >= messageEnd_) {
        throw MakeError(Errors::kBadMultipart);
    }
}

void Parser::ExtractStartLine(const unsigned char* begin, const unsigned char* end)
{
    const unsigned char* firstSpace = FindByte(begin, end, ' ');
    if (firstSpace == nullptr) {
        throw MakeError(Errors::kNoMethodOrVersionField);
    }
    const unsigned char* secondSpace = FindByte(firstSpace + 1, end, ' ');
    if (secondSpace == nullptr) {
        throw MakeError(Errors::kNoStatusOrUriField);
    }
    static const char kHttp[] = "HTTP/";
    const std::size_t prefix = sizeof kHttp - 1;
    if (!StartsWith(begin, end, kHttp)) {
        if (!StartsWith(secondSpace + 1, end, kHttp)) {
            throw MakeError(Errors::kBadVersion);
        }
        kind_ = KindRequest;
        request_->method.assign(begin, firstSpace);
        request_->uri.assign(firstSpace + 1, secondSpace);
        request_->version.assign(secondSpace + 1 + prefix, end);
        return;
    }
    int status = 0;
    try {
        status = boost::lexical_cast<int>(std::string(firstSpace + 1, secondSpace));
    } catch (const boost::bad_lexical_cast& e) {
        throw MakeError(Errors::kBadStatusCode, e.what());
    }
    kind_ = KindResponse;
    response_->version.assign(begin + prefix, firstSpace);
    response_->statusCode = status;
    response_->reason.assign(secondSpace + 1, end);
}

MessageInformation& Parser::Message() const
{
    if (kind_ == KindRequest) {
        return *request_;
    }
    return *response_;
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
