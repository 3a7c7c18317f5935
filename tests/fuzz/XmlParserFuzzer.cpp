// The XML reader on arbitrary bytes: it either throws the internal exception or returns a
// tree; a tree read without conversion is written back into a document reading the same.
// (Converted texts stop at an embedded NUL, which may leave trailing whitespace.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "Utility/Exception.h"
#include "Utility/Xml/Parser.h"

namespace {

using Orvane::Utility::Xml::Node;
using Orvane::Utility::Xml::Parser;

bool Same(const Node& a, const Node& b)
{
    if (a.name != b.name || a.text != b.text || a.children.size() != b.children.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        if (!Same(*a.children[i], *b.children[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the mode; the document is copied so that reads past its end
    // are caught.
    const int convert = data[0] & 1;
    const std::string document(reinterpret_cast<const char*>(data) + 1, size - 1);
    boost::shared_ptr<Node> root;
    try {
        root = Parser(document.data(), static_cast<std::uint32_t>(document.size()), convert).Parse();
    } catch (const Orvane::Utility::Exception&) {
        return 0;
    }
    if (convert == 1) {
        return 0;
    }
    std::ostringstream out;
    root->Write(out, "\t", 0, 0);
    const std::string written = out.str();
    const boost::shared_ptr<Node> again =
        Parser(written.data(), static_cast<std::uint32_t>(written.size()), 0).Parse();
    if (!Same(*root, *again)) {
        std::abort();
    }
    return 0;
}
