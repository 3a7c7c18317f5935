#include "Utility/Xml/Parser.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "Orvane/Utility/TextEncoding.h"
#include "Utility/Exception.h"
#include "Utility/Xml/Errors.h"

namespace Orvane {
namespace Utility {
namespace Xml {

namespace {

inline bool IsWhitespace(char byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r'; }

} // namespace

// A null document is an empty one.
Parser::Parser(const char* data, std::uint32_t length, std::int32_t convert)
    : data_(data != nullptr ? data : ""), length_(data != nullptr ? length : 0), convert_(convert)
{
}

Parser::~Parser() = default;

void Parser::SetElementHook(ElementHook hook) { hook_ = std::move(hook); }

boost::shared_ptr<Node> Parser::Parse()
{
    open_.clear();
    const std::size_t start = SkipWhitespace(0);
    if (start == length_ || data_[start] != '<') {
        SyntaxError(start);
    }
    const std::size_t close = ReadTag(start);
    boost::shared_ptr<Node> root = Node::Make(std::string(data_ + start + 1, data_ + close), std::string());
    const std::size_t end = SkipWhitespace(ReadContent(*root, 1, close + 1));
    if (end != length_) {
        SyntaxError(end);
    }
    return root;
}

std::size_t Parser::ReadTag(std::size_t open) const
{
    for (std::size_t position = open + 1; position < length_; ++position) {
        const char byte = data_[position];
        if (byte == '>') {
            return position;
        }
        if (byte == '\n' || byte == '\r') {
            SyntaxError(position);
        }
    }
    SyntaxError(length_);
}

std::size_t Parser::ReadContent(Node& element, int depth, std::size_t position)
{
    if (depth >= MaxDepth) {
        throw MakeError(Errors::kNestingTooDeep, depth);
    }
    open_.push_back(&element);
    for (;;) {
        // An element still open at the end of the document is an error there.
        const std::size_t textStart = SkipWhitespace(position);
        if (textStart == length_) {
            SyntaxError(length_);
        }
        std::size_t open = textStart;
        if (data_[open] != '<') {
            const void* found = std::memchr(data_ + open, '<', length_ - open);
            if (found == nullptr) {
                SyntaxError(length_);
            }
            open = static_cast<const char*>(found) - data_;
        }
        const std::size_t close = ReadTag(open);
        const char* tag = data_ + open + 1;
        const std::size_t tagLength = close - open - 1;
        const bool hasText = open != textStart;
        position = close + 1;

        if (tagLength == 0 || tag[0] != '/') {
            if (hasText) {
                SyntaxError(position); // text before a child element
            }
            boost::shared_ptr<Node> child = Node::Make(std::string(tag, tagLength), std::string());
            position = ReadContent(*child, depth + 1, position);
            if (!hook_ || !hook_(open_, child)) {
                element.children.push_back(std::move(child));
            }
            continue;
        }

        if (element.name.compare(0, std::string::npos, tag + 1, tagLength - 1) != 0) {
            SyntaxError(position); // closing tag of another element
        }
        if (hasText && !element.children.empty()) {
            SyntaxError(position); // text after a child element
        }
        std::size_t textEnd = open;
        while (textEnd > textStart && IsWhitespace(data_[textEnd - 1])) {
            --textEnd;
        }
        if (convert_ == 1) {
            // Shift_JIS is never longer than the UTF-8 it comes from: one allocation, rather
            // than a text doubling its way up with the old and new blocks held at once.
            element.text.reserve(textEnd - textStart);
            Utf8ToSjis(std::string(data_ + textStart, textEnd - textStart).c_str(), element.text);
        } else {
            element.text.assign(data_ + textStart, textEnd - textStart);
        }
        open_.pop_back();
        return position;
    }
}

std::size_t Parser::SkipWhitespace(std::size_t position) const
{
    while (position < length_ && IsWhitespace(data_[position])) {
        ++position;
    }
    return position;
}

void Parser::SyntaxError(std::size_t position) const
{
    const char* const begin = data_;
    const char* const at = data_ + position;
    const std::uint64_t line = 1 + static_cast<std::uint64_t>(std::count(begin, at, '\n'));
    const char* lineStart = at;
    while (lineStart != begin && lineStart[-1] != '\n') {
        --lineStart;
    }
    throw MakeError(Errors::kSyntax, line, static_cast<std::uint64_t>(at - lineStart) + 1);
}

} // namespace Xml
} // namespace Utility
} // namespace Orvane
