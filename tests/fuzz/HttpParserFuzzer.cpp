// Feeds the HTTP parser the same bytes in one read and in reads split at fuzzer-chosen
// points, through a growing receive buffer trimmed after every read as a connection
// would be. Checks that every delivered part lies inside the received bytes of its own
// message and that the delivered messages and the final error do not depend on the splits.
//
// Input: one byte n, then n 16-bit split offsets (taken modulo the message length), then
// the wire bytes.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Utility/Exception.h"
#include "Utility/Http/Parser.h"
#include "Utility/Tcp/Buffer.h"
#include "support/HttpWire.h"

namespace {

using Orvane::Utility::Http::BodyPartInformation;
using Orvane::Utility::Http::Parser;

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "HttpParserFuzzer: %s\n", what);
        std::abort();
    }
}

void CheckInside(const std::vector<BodyPartInformation>& parts, const unsigned char* begin, const unsigned char* end)
{
    for (const BodyPartInformation& part : parts) {
        const unsigned char* bytes = part.GetPartBytes();
        Check(bytes != nullptr && bytes >= begin && bytes <= end, "part starts outside its message");
        Check(part.GetPartLength() <= static_cast<std::size_t>(end - bytes), "part ends outside its message");
        if (part.GetData() != nullptr) {
            Check(part.GetData() >= bytes && part.GetData() <= bytes + part.GetPartLength(),
                  "part data starts outside its part");
            Check(part.GetDataLength() <= static_cast<std::size_t>(bytes + part.GetPartLength() - part.GetData()),
                  "part data ends outside its part");
        }
    }
}

std::vector<std::string> Receive(const unsigned char* wire, std::size_t size, std::vector<std::size_t> splits)
{
    std::vector<std::string> results;
    Parser parser;
    Orvane::Utility::Tcp::Buffer buffer(64, nullptr, 0);
    splits.push_back(size);
    std::size_t fed = 0;
    try {
        for (const std::size_t end : splits) {
            buffer.AppendData(wire + fed, static_cast<unsigned int>(end - fed));
            fed = end;
            const unsigned char* data = buffer.storage.data();
            unsigned int start = 0;
            const unsigned int consumed =
                parser.ParseMessages(data, buffer.dataLength, [&](unsigned int messageEnd) {
                    Check(messageEnd > start && messageEnd <= buffer.dataLength, "message end outside the buffer");
                    const unsigned char* begin = data + start;
                    CheckInside(parser.GetKind() == Parser::KindRequest ? parser.GetRequest()->bodyParts
                                                                        : parser.GetResponse()->bodyParts,
                                begin, data + messageEnd);
                    results.push_back(Orvane::Test::DescribeMessage(parser));
                    start = messageEnd;
                });
            Check(consumed == start, "consumed bytes differ from the delivered messages");
            buffer.Trim(consumed, buffer.dataLength - consumed);
        }
    } catch (const Orvane::Utility::Exception& e) {
        results.push_back(std::string("error ") + std::to_string(e.GetErrorNo()) + ": " + e.what());
    }
    return results;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t length)
{
    if (length == 0) {
        return 0;
    }
    const std::size_t count = input[0] % 16;
    const std::size_t header = 1 + 2 * count;
    if (length < header) {
        return 0;
    }
    const unsigned char* wire = input + header;
    const std::size_t size = length - header;
    std::vector<std::size_t> splits;
    for (std::size_t i = 0; i < count && size > 0; ++i) {
        splits.push_back((input[1 + 2 * i] | (input[2 + 2 * i] << 8)) % size);
    }
    std::sort(splits.begin(), splits.end());

    const std::vector<std::string> whole = Receive(wire, size, {});
    Check(whole == Receive(wire, size, splits), "the result depends on the splits");
    return 0;
}
