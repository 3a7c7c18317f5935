#include "support/HostilePeer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/loopback/HttpReader.h"
#include "support/loopback/HttpWriter.h"
#include "support/loopback/Notice.h"
#include "support/loopback/ProtocolXml.h"
#include "support/loopback/XmlElement.h"

namespace Orvane {
namespace Test {
namespace {

using Loopback::HttpWriter;
using Loopback::XmlElement;

std::mutex failureLock;

std::string SuccessReply()
{
    const XmlElement response("Response", std::vector<XmlElement>{XmlElement("Success", "1"), XmlElement("Value")});
    return HttpWriter::MultipartReply({HttpWriter::Part("form-data; name=\"response\"", response.Write())});
}

// The remote method of a call, empty for anything else.
std::string MethodOf(const Loopback::HttpMessage& message)
{
    if (message.isResponse || message.parts.empty()) {
        return std::string();
    }
    try {
        return XmlElement::Parse(message.parts.front().data).ChildText("Kind");
    } catch (const std::exception&) {
        return std::string();
    }
}

} // namespace

HostilePeer::HostilePeer(Options options)
    : options_(std::move(options)), server_(16, options_.reading ? 0 : 4096), failure_(new std::string),
      first_(std::make_shared<const std::string>(EndPointMessage(0, options_.text, options_.words))),
      raw_(std::make_shared<const std::string>(options_.raw))
{
    thread_ = std::thread([this] {
        try {
            Run();
        } catch (const std::exception& e) {
            std::lock_guard<std::mutex> lock(failureLock);
            *failure_ = e.what();
        }
    });
}

HostilePeer::~HostilePeer()
{
    stopping_ = true;
    thread_.join();
}

std::string HostilePeer::Failure() const
{
    std::lock_guard<std::mutex> lock(failureLock);
    return *failure_;
}

std::string HostilePeer::EndPointMessage(std::size_t number, const std::string& text, std::size_t words)
{
    Loopback::ResultWord word;
    word.label = text;
    word.phoneme = "a";
    Loopback::ResultSentence sentence;
    sentence.score = 1.0;
    sentence.words.assign(words, word);
    const Loopback::Notice notice =
        Loopback::Notice::EndPoint("g", static_cast<double>(number), {sentence}, std::to_string(number));
    return HttpWriter::MultipartRequest("POST", "/", {HttpWriter::Part(notice.disposition, notice.parts.front())});
}

void HostilePeer::Run()
{
    std::unique_ptr<PeerSocket> socket;
    while (!socket && !stopping_) {
        try {
            socket = server_.Accept(std::chrono::milliseconds(100));
        } catch (const std::runtime_error&) {
        }
    }
    if (!socket) {
        return;
    }
    const int fd = socket->Fd();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    Loopback::HttpReader reader;
    // What is still to be written: whole messages, the first one from `offset` on.
    std::deque<std::shared_ptr<const std::string>> output;
    std::size_t offset = 0;
    std::size_t pending = 0;
    const auto write = [&](std::shared_ptr<const std::string> bytes) {
        pending += bytes->size();
        output.push_back(std::move(bytes));
    };
    bool flooding = false;
    bool trickling = false;
    bool rawWritten = false;
    auto nextTrickle = std::chrono::steady_clock::now();
    std::size_t queued = 0;
    while (!stopping_ && !clientClosed_) {
        if (rawWritten && pending == 0 && options_.closeAfterRaw) {
            return;
        }
        const bool read = !flooding || options_.reading;
        const bool more = flooding && (options_.count == 0 || queued < options_.count);
        if (more && pending < 64 * 1024) {
            write(queued == 0 ? first_
                             : std::make_shared<const std::string>(EndPointMessage(queued, options_.text, options_.words)));
            sent_ = ++queued;
        }
        const bool writing = pending != 0 && (!trickling || std::chrono::steady_clock::now() >= nextTrickle);
        pollfd entry{fd, static_cast<short>((read ? POLLIN : 0) | (writing ? POLLOUT : 0)), 0};
        if (::poll(&entry, 1, trickling ? 5 : 20) < 0 && errno != EINTR) {
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        if ((entry.revents & POLLIN) != 0 || (entry.revents & (POLLHUP | POLLERR)) != 0) {
            char bytes[65536];
            const ssize_t got = ::recv(fd, bytes, sizeof bytes, 0);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                clientClosed_ = true;
                break;
            }
            if (got > 0) {
                reader.Append(bytes, static_cast<std::size_t>(got));
                while (std::optional<Loopback::HttpMessage> message = reader.Next()) {
                    if (message->isResponse) {
                        ++answers_;
                        continue;
                    }
                    ++calls_;
                    if (flooding) {
                        if (options_.answerDuringFlood) {
                            write(std::make_shared<const std::string>(SuccessReply()));
                        }
                        continue;
                    }
                    const std::string method = MethodOf(*message);
                    if (rawWritten) {
                        continue;
                    }
                    if (!options_.raw.empty() && method == options_.rawFor) {
                        if (!options_.rawIsReply) {
                            write(std::make_shared<const std::string>(SuccessReply()));
                        }
                        write(raw_);
                        rawWritten = true;
                        trickling = method == options_.trickle;
                        continue;
                    }
                    write(std::make_shared<const std::string>(SuccessReply()));
                    trickling = method == options_.trickle;
                    flooding = method == options_.floodAfter;
                }
            }
        }
        if ((entry.revents & POLLOUT) != 0 && pending != 0) {
            const std::string& front = *output.front();
            const std::size_t left = front.size() - offset;
            const std::size_t size = trickling ? std::min(options_.trickleBytes, left) : left;
            const ssize_t put = ::send(fd, front.data() + offset, size, MSG_NOSIGNAL);
            if (put < 0 && errno != EAGAIN && errno != EINTR) {
                clientClosed_ = true;
                break;
            }
            if (put > 0) {
                offset += static_cast<std::size_t>(put);
                pending -= static_cast<std::size_t>(put);
                nextTrickle = std::chrono::steady_clock::now() + options_.trickleInterval;
                if (offset == front.size()) {
                    output.pop_front();
                    offset = 0;
                }
                if (pending == 0) {
                    trickling = false;
                }
            }
        }
    }
}

} // namespace Test
} // namespace Orvane
