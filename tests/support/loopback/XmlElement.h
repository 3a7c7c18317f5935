#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace Orvane {
namespace Test {
namespace Loopback {

// An element of the element-only XML that the recognition protocol uses: a name and either a
// text or child elements. No attributes, declarations or escaping in either direction.
struct XmlElement {
    std::string name;
    std::string text;
    std::vector<XmlElement> children;

    XmlElement() = default;
    explicit XmlElement(std::string name, std::string text = std::string());
    XmlElement(std::string name, std::vector<XmlElement> children);

    // First child of that name, or null.
    const XmlElement* Child(const std::string& childName) const;
    XmlElement* Child(const std::string& childName);
    // Text of the first child of that name; empty when there is none.
    std::string ChildText(const std::string& childName) const;
    std::vector<const XmlElement*> ChildrenNamed(const std::string& childName) const;
    XmlElement& Add(XmlElement child);
    // Removes every child of that name; returns how many went.
    std::size_t Remove(const std::string& childName);

    // Tab-indented form: one element per line, each line ended by LF, texts on the line of
    // their element, an empty element as its start tag followed by its end tag.
    std::string Write() const;
    // The same without line breaks or indentation.
    std::string WriteCompact() const;

    // Reads a document; throws XmlError on anything that is not element-only XML.
    static XmlElement Parse(const std::string& document);
};

class XmlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
