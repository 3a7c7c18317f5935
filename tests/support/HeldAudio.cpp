#include "support/HeldAudio.h"

#include "support/SignalTools.h"

namespace Orvane {
namespace Test {

HeldAudio::HeldAudio(const TemporaryDirectory& directory, const std::string& name, const std::vector<short>& samples)
    : fifo_(directory, name), bytes_(SignalTools::ToBytes(samples))
{
}

bool HeldAudio::Feed(const FlatHelper& helper, std::size_t connections, std::size_t completions)
{
    bool connected = false;
    helper.WaitForEvents([&](const std::vector<FlatHelper::Event>& events) {
        std::size_t seenConnections = 0;
        std::size_t seenCompletions = 0;
        for (const FlatHelper::Event& event : events) {
            seenConnections += event.kind == 1 ? 1 : 0;
            seenCompletions += event.kind == 6 ? 1 : 0;
        }
        connected = seenConnections >= connections;
        return connected || seenCompletions > completions;
    });
    const bool written = connected && fifo_.WriteAll(bytes_);
    fifo_.Close();
    return written;
}

} // namespace Test
} // namespace Orvane
