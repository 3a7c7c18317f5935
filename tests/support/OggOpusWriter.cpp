#include "support/OggOpusWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include <ogg/ogg.h>

namespace Orvane {
namespace Test {
namespace {

void PutLittleEndian(std::string& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool WritePages(ogg_stream_state& stream, std::FILE* file, bool flush)
{
    ogg_page page;
    while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
        if (std::fwrite(page.header, 1, page.header_len, file) != static_cast<std::size_t>(page.header_len) ||
            std::fwrite(page.body, 1, page.body_len, file) != static_cast<std::size_t>(page.body_len)) {
            return false;
        }
    }
    return true;
}

bool Submit(ogg_stream_state& stream, const std::string& data, ogg_int64_t granule, ogg_int64_t number, bool first,
            bool last)
{
    ogg_packet packet;
    std::memset(&packet, 0, sizeof(packet));
    packet.packet = reinterpret_cast<unsigned char*>(const_cast<char*>(data.data()));
    packet.bytes = static_cast<long>(data.size());
    packet.b_o_s = first ? 1 : 0;
    packet.e_o_s = last ? 1 : 0;
    packet.granulepos = granule;
    packet.packetno = number;
    return ogg_stream_packetin(&stream, &packet) == 0;
}

} // namespace

bool OggOpusWriter::WriteFile(const std::string& path, const std::vector<std::string>& packets, int preSkip)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return false;
    }
    ogg_stream_state stream;
    if (ogg_stream_init(&stream, 0x5445) != 0) {
        return false;
    }
    std::string head("OpusHead");
    head.push_back(1);
    head.push_back(1);
    PutLittleEndian(head, static_cast<uint32_t>(preSkip), 2);
    PutLittleEndian(head, 16000, 4);
    PutLittleEndian(head, 0, 2);
    head.push_back(0);
    std::string tags("OpusTags");
    const std::string vendor("tessival-test");
    PutLittleEndian(tags, static_cast<uint32_t>(vendor.size()), 4);
    tags += vendor;
    PutLittleEndian(tags, 0, 4);

    bool ok = Submit(stream, head, 0, 0, true, false) && WritePages(stream, file.get(), true) &&
              Submit(stream, tags, 0, 1, false, false) && WritePages(stream, file.get(), true);
    ogg_int64_t granule = 0;
    for (std::size_t i = 0; ok && i < packets.size(); ++i) {
        granule += 960;
        ok = Submit(stream, packets[i], granule, static_cast<ogg_int64_t>(i + 2), false, i + 1 == packets.size()) &&
             WritePages(stream, file.get(), false);
    }
    ok = ok && WritePages(stream, file.get(), true);
    ogg_stream_clear(&stream);
    return ok;
}

} // namespace Test
} // namespace Orvane
