#pragma once
// Whether a PulseAudio (or pipewire-pulse) server can be reached, asked before Qt Multimedia is
// first used: once its sound backend failed to connect it never tries again in this process, so
// touching it while no server runs would keep the program mute even after a server comes up.

#include <optional>
#include <string>
#include <vector>

namespace quorvel::speech {

struct ServerCandidates {
    std::vector<std::string> unixSockets; // paths to try
    bool other = false;                   // some address that cannot be probed cheaply (TCP, ...)
};

// From the value of PULSE_SERVER (may be unset) and XDG_RUNTIME_DIR: the places a client would try.
ServerCandidates SoundServerCandidates(const std::optional<std::string>& pulseServer,
                                       const std::optional<std::string>& runtimeDir);

// False only when every candidate is a local socket that refuses or does not exist.
bool SoundServerMayBeReachable();

} // namespace quorvel::speech
