#include "Utility/Xml/Node.h"

#include <cstring>

#include <boost/make_shared.hpp>

namespace Orvane {
namespace Utility {
namespace Xml {

namespace {

std::string Text(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

void WriteIndent(std::ostream& out, const std::string& indent, int level)
{
    for (int i = 0; i < level; ++i) {
        out.write(indent.data(), static_cast<std::streamsize>(indent.size()));
    }
}

} // namespace

Node::Node(Key, std::string name, std::string text) : name(std::move(name)), text(std::move(text)) {}

Node::~Node() = default;

boost::shared_ptr<Node> Node::Make(std::string name, std::string text)
{
    return boost::make_shared<Node>(Key(), std::move(name), std::move(text));
}

boost::shared_ptr<Node> Node::CreateInstance(const char* name) { return Make(Text(name), std::string()); }

boost::shared_ptr<Node> Node::CreateInstance(const char* name, const char* text) { return Make(Text(name), Text(text)); }

boost::shared_ptr<Node> Node::CreateInstance(const char* name, int value)
{
    return Make(Text(name), std::to_string(value));
}

boost::shared_ptr<Node> Node::CreateInstance(const char* name, unsigned int value)
{
    return Make(Text(name), std::to_string(value));
}

boost::shared_ptr<Node> Node::CreateInstance(const char* name, std::vector<boost::shared_ptr<Node>> children)
{
    boost::shared_ptr<Node> node = Make(Text(name), std::string());
    node->children = std::move(children);
    return node;
}

boost::shared_ptr<Node> Node::Child(const char* name) const
{
    const char* wanted = name != nullptr ? name : "";
    const std::size_t length = std::strlen(wanted);
    for (const boost::shared_ptr<Node>& child : children) {
        if (child && child->name.size() == length && child->name.compare(0, length, wanted, length) == 0) {
            return child;
        }
    }
    return boost::shared_ptr<Node>();
}

void Node::Write(std::ostream& out, const std::string& indent, int level, int option) const
{
    WriteIndent(out, indent, level);
    out.put('<');
    out.write(name.data(), static_cast<std::streamsize>(name.size()));
    out.put('>');
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!children.empty()) {
        out.put('\n');
        for (const boost::shared_ptr<Node>& child : children) {
            if (child) {
                child->Write(out, indent, level + 1, option);
            }
        }
        WriteIndent(out, indent, level);
    }
    out.write("</", 2);
    out.write(name.data(), static_cast<std::streamsize>(name.size()));
    out.write(">\n", 2);
}

} // namespace Xml
} // namespace Utility
} // namespace Orvane
