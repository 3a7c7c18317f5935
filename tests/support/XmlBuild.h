#pragma once

#include <initializer_list>
#include <string>

#include <boost/shared_ptr.hpp>

#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Test {

typedef boost::shared_ptr<Utility::Xml::Node> XmlNode;

// An element with a text, built without the parser (so texts may hold "<").
inline XmlNode Leaf(const std::string& name, const std::string& text)
{
    return Utility::Xml::Node::CreateInstance(name.c_str(), text.c_str());
}

// An element with children, in order.
inline XmlNode Tree(const std::string& name, std::initializer_list<XmlNode> children = {})
{
    XmlNode node = Utility::Xml::Node::CreateInstance(name.c_str());
    node->children.assign(children.begin(), children.end());
    return node;
}

} // namespace Test
} // namespace Orvane
