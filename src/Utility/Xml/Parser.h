#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Utility {
namespace Xml {

// Reads an element-only XML document (no attributes, declarations, comments, references
// or escaping; an element holds a text or children) into a tree of nodes. Built in place
// for one Parse() call; the caller keeps the bytes alive meanwhile.
class Parser {
public:
    // Nesting limit: the root is level 1, and an element at this level is refused.
    static const int MaxDepth = 10;

    // Told of each element but the root once it has been read whole, with the elements
    // still open around it (the root first, its parent last). When it returns true it has
    // taken the element, which then stays out of the tree: a reader of a large document
    // can turn its parts into something smaller as they come.
    typedef boost::function<bool(const std::vector<const Node*>& open, const boost::shared_ptr<Node>& element)>
        ElementHook;

    // `convert` 1: element texts are converted from UTF-8 to Shift_JIS while reading.
    Parser(const char* data, std::uint32_t length, std::int32_t convert);
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    virtual ~Parser();

    // The root element. Throws Exception "Orvane::Utility::Xml" 3 for a syntax error (with
    // its line and byte) or too deep a nesting, and the default-built Exception for
    // malformed UTF-8 while converting. An element still open at the end is a syntax error.
    boost::shared_ptr<Node> Parse();

    // The hook for the next Parse (empty: none).
    void SetElementHook(ElementHook hook);

private:
    // Reads the tag that starts after the "<" at `open`; returns the position of its ">".
    std::size_t ReadTag(std::size_t open) const;
    // Reads an element's content up to and including its closing tag; returns the
    // position after that tag.
    std::size_t ReadContent(Node& element, int depth, std::size_t position);
    std::size_t SkipWhitespace(std::size_t position) const;
    [[noreturn]] void SyntaxError(std::size_t position) const;

    const char* data_;
    std::uint32_t length_;
    std::int32_t convert_;
    ElementHook hook_;
    // The elements being read, outermost first.
    std::vector<const Node*> open_;
};

} // namespace Xml
} // namespace Utility
} // namespace Orvane
