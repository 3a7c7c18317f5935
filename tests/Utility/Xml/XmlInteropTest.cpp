// The writer's output read by an independent XML parser (Python's xml.etree).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "Utility/Xml/Node.h"
#include "Utility/Xml/XmlTestSupport.h"
#include "support/NbestDocument.h"

namespace {

using Orvane::Utility::Xml::Node;

// A file that is removed again at the end of the scope.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& content)
    {
        char name[] = "/tmp/tessival-xml-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) {
            throw std::runtime_error("mkstemp");
        }
        close(fd);
        path_ = name;
        std::ofstream(path_, std::ios::binary) << content;
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// What the independent parser reads from the file, with its exit status.
std::string ReadWithEtree(const std::string& path, int& status)
{
    const std::string command =
        "/usr/bin/python3 " TESSIVAL_SOURCE_DIR "/tests/Utility/Xml/etree_dump.py '" + path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return "";
    }
    std::string out;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, got);
    }
    status = pclose(pipe);
    return out;
}

TEST(XmlInteropTest, WrittenDocumentReadsTheSameWithXmlEtree)
{
    const boost::shared_ptr<Node> shapes = Node::CreateInstance("Notification");
    shapes->children.push_back(Node::CreateInstance("Empty"));
    shapes->children.push_back(Node::CreateInstance("Method", "Grammar::EndPoint"));
    shapes->children.push_back(Node::CreateInstance("認識結果", "今日は　東京の天気 です"));
    shapes->children.push_back(Node::CreateInstance("Number", -7));
    shapes->children.push_back(Orvane::Test::NbestElement(3, 4));
    for (const boost::shared_ptr<Node>& tree : {shapes, Orvane::Test::NbestElement(10, 18)}) {
        const TemporaryFile file(Orvane::Test::Written(*tree));
        int status = 0;
        const std::string read = ReadWithEtree(file.Path(), status);
        EXPECT_EQ(0, status) << read;
        EXPECT_EQ(Orvane::Test::Dump(*tree), read);
    }
}

} // namespace
