#include "Utility/Http/Utility.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "Utility/Http/Errors.h"
#include "Utility/Http/HeaderText.h"

namespace Orvane {
namespace Utility {
namespace Http {
namespace {

const char kCrlf[] = "\r\n";

void Append(Tcp::Buffer& buffer, const char* text, std::size_t length)
{
    buffer.AppendData(reinterpret_cast<const unsigned char*>(text), static_cast<unsigned int>(length));
}

void Append(Tcp::Buffer& buffer, const std::string& text)
{
    Append(buffer, text.data(), text.size());
}

void AppendLine(Tcp::Buffer& buffer, const std::string& line)
{
    Append(buffer, line + kCrlf);
}

} // namespace

void Utility::AppendStatusLine(Tcp::Buffer& buffer, StatusCode status)
{
    switch (status) {
    case OK:
        AppendLine(buffer, "HTTP/1.0 200 OK");
        return;
    case BadRequest:
        AppendLine(buffer, "HTTP/1.0 400 Bad Request");
        return;
    case Forbidden:
        AppendLine(buffer, "HTTP/1.0 403 Forbidden");
        return;
    }
    throw MakeError(Errors::kInvalidStatusCode, static_cast<int>(status));
}

void Utility::AppendDateHeader(Tcp::Buffer& buffer)
{
    static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const boost::posix_time::ptime now = boost::posix_time::second_clock::universal_time();
    const boost::gregorian::date date = now.date();
    const boost::posix_time::time_duration time = now.time_of_day();
    char line[64];
    std::snprintf(line, sizeof line, "Date: %s, %02d %s %d %02d:%02d:%02d GMT\r\n",
                  kWeekdays[date.day_of_week().as_number()], static_cast<int>(date.day()),
                  kMonths[date.month() - 1], static_cast<int>(date.year()), static_cast<int>(time.hours()),
                  static_cast<int>(time.minutes()), static_cast<int>(time.seconds()));
    Append(buffer, line, std::strlen(line));
}

void Utility::AppendContentTypeHeader(Tcp::Buffer& buffer, ContentType type, const char* boundary)
{
    switch (type) {
    case TextPlain:
        AppendLine(buffer, "Content-Type: text/plain");
        return;
    case MultipartFormData:
        if (boundary == nullptr) {
            throw MakeError(Errors::kInvalidBoundary);
        }
        CheckFieldValue(boundary, "boundary");
        AppendLine(buffer, std::string("Content-Type: multipart/form-data; boundary=") + boundary);
        return;
    case AudioData:
        AppendLine(buffer, "Content-Type: audiodata");
        return;
    }
    throw MakeError(Errors::kInvalidContentType, static_cast<int>(type));
}

void Utility::AppendContentLengthHeader(Tcp::Buffer& buffer, unsigned int length)
{
    AppendLine(buffer, "Content-Length: " + std::to_string(length));
}

void Utility::AppendUserAgentHeader(Tcp::Buffer& buffer, const std::string& agent)
{
    CheckFieldValue(agent, "User-Agent");
    AppendLine(buffer, "User-Agent: " + agent);
}

void Utility::AppendBody(Tcp::Buffer& buffer, const std::string& boundary,
                         const std::vector<BodyPartInformation>& parts)
{
    BodyLength(boundary, parts);  // checks the parts before anything is appended
    const unsigned int before = buffer.dataLength;
    try {
        const std::string delimiter = "--" + boundary;
        for (const BodyPartInformation& part : parts) {
            AppendLine(buffer, delimiter);
            buffer.AppendData(part.GetPartBytes(), part.GetPartLength());
            Append(buffer, kCrlf, 2);
        }
        AppendLine(buffer, delimiter + "--");
    } catch (...) {
        buffer.dataLength = before;  // an allocation failure half-way drops the partial body
        throw;
    }
}

unsigned int Utility::BodyLength(const std::string& boundary, const std::vector<BodyPartInformation>& parts)
{
    std::uint64_t total = (static_cast<std::uint64_t>(parts.size()) + 1) * (boundary.size() + 6);
    for (const BodyPartInformation& part : parts) {
        if (part.GetPartLength() != 0 && part.GetPartBytes() == nullptr) {
            throw MakeError(Errors::kInvalidBodyPart);
        }
        total += part.GetPartLength();
    }
    if (total > UINT32_MAX) {
        throw MakeError(Errors::kMessageTooLong, total);
    }
    return static_cast<unsigned int>(total);
}

void Utility::CreateBoundaryString(std::string& out)
{
    const boost::posix_time::ptime now = boost::posix_time::microsec_clock::local_time();
    const boost::gregorian::date date = now.date();
    const boost::posix_time::time_duration time = now.time_of_day();
    const std::int64_t sinceMidnight = time.total_microseconds();
    const std::int64_t tail = (sinceMidnight * 125) % 10000000000LL;
    char text[48];
    std::snprintf(text, sizeof text, "---%04d%02d%02d%02d%02d%02d%03d+%010lld", static_cast<int>(date.year()),
                  static_cast<int>(date.month()), static_cast<int>(date.day()), static_cast<int>(time.hours()),
                  static_cast<int>(time.minutes()), static_cast<int>(time.seconds()),
                  static_cast<int>(sinceMidnight / 1000 % 1000), static_cast<long long>(tail));
    out = text;
}

void Utility::CheckFieldValue(const std::string& value, const char* field)
{
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw MakeError(Errors::kInvalidFieldCharacter, field);
    }
}

const std::string& Utility::GetValue(const std::map<std::string, std::string>& values, const char* name)
{
    const auto found = values.find(name ? name : "");
    if (found == values.end()) {
        throw MakeError(Errors::kMissingValue, name);
    }
    return found->second;
}

void Utility::GetHeaderValueParameter(const std::string& value, std::map<std::string, std::string>& parameters)
{
    std::size_t position = value.find(';');
    if (position == std::string::npos || position + 1 >= value.size()) {
        return;
    }
    ++position;
    for (;;) {
        const std::size_t equals = value.find('=', position);
        if (equals == std::string::npos) {
            throw MakeError(Errors::kNoParameterSeparator, value);
        }
        while (position < equals && value[position] == ' ') {
            ++position;
        }
        if (position == equals) {
            throw MakeError(Errors::kEmptyParameterName);
        }
        const std::string name = detail::LowerCase(value.substr(position, equals - position));
        const std::size_t valueStart = equals + 1;
        if (valueStart == value.size()) {
            throw MakeError(Errors::kEmptyParameterValue);
        }
        const std::size_t semicolon = value.find(';', valueStart);
        std::size_t valueEnd = semicolon == std::string::npos ? value.size() : semicolon;
        while (valueEnd > valueStart && value[valueEnd - 1] == ' ') {
            --valueEnd;
        }
        if (valueEnd == valueStart) {
            throw MakeError(Errors::kEmptyParameterValue);
        }
        std::string parameter = value.substr(valueStart, valueEnd - valueStart);
        if (parameter.size() >= 2 && parameter.front() == '"' && parameter.back() == '"') {
            parameter = parameter.substr(1, parameter.size() - 2);
        }
        parameters.emplace(name, parameter);
        if (semicolon == std::string::npos || semicolon + 1 >= value.size()) {
            return;
        }
        position = semicolon + 1;
    }
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
