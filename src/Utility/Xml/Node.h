#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

namespace Orvane {
namespace Utility {
namespace Xml {

class Parser;

// One element of an element-only XML document: a name, a text and child elements. An
// element holds a text or children; callers read and append to the fields directly.
// Always held by boost::shared_ptr.
class Node {
    // Only Node can make a key, so only CreateInstance and the parser build nodes.
    class Key {
        friend class Node;
        Key() {}
    };

public:
    // Null texts are taken as empty.
    static boost::shared_ptr<Node> CreateInstance(const char* name);
    static boost::shared_ptr<Node> CreateInstance(const char* name, const char* text);
    static boost::shared_ptr<Node> CreateInstance(const char* name, int value);
    static boost::shared_ptr<Node> CreateInstance(const char* name, unsigned int value);
    // The list is copied; the children themselves are shared.
    static boost::shared_ptr<Node> CreateInstance(const char* name, std::vector<boost::shared_ptr<Node>> children);

    Node(Key, std::string name, std::string text);
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    virtual ~Node();

    // The first child whose name equals `name` byte for byte, or an empty pointer. Empty
    // child pointers that a caller appended are skipped here and by Write.
    boost::shared_ptr<Node> Child(const char* name) const;

    // Writes the element and its descendants as indented lines, `indent` written `level`
    // times before each tag line; texts are written as they stand, without escaping.
    // `option` is handed on to the children and has no other effect.
    void Write(std::ostream& out, const std::string& indent, int level, int option) const;

    std::string name;
    std::string text;
    std::vector<boost::shared_ptr<Node>> children;

private:
    friend class Parser;
    static boost::shared_ptr<Node> Make(std::string name, std::string text);
};

} // namespace Xml
} // namespace Utility
} // namespace Orvane
