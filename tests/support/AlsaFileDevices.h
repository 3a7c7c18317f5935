#pragma once

#include <string>
#include <utility>
#include <vector>

namespace Orvane {
namespace Test {

// Capture devices made from ALSA's file plugin: each device reads the bytes of its
// input file as raw 16-bit mono audio. The configuration goes into `home`/.asoundrc;
// the process must read ALSA's configuration with HOME set to `home` (Use does it) and
// must not let PortAudio start a JACK server. The configuration also replaces the
// "default", "pulse" and "jack" devices, so that listing the devices reaches no sound
// server of the machine.
class AlsaFileDevices {
public:
    // `devices`: (device name, input file path), in the order they are defined; the
    // "default" device reads `defaultInput`.
    static void Write(const std::string& home, const std::vector<std::pair<std::string, std::string>>& devices,
                      const std::string& defaultInput);
    // Points HOME at `home` and keeps JACK from starting a server; call before PortAudio
    // is first initialised in the process.
    static void Use(const std::string& home);
};

} // namespace Test
} // namespace Orvane
