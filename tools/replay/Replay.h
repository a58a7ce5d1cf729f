#pragma once
// Runs a capture file through the program's decoding and event handling, frame by frame.

#include "app/settings/ContactsStore.h"
#include "capture/ChatEvent.h"
#include "capture/EventHandling.h"
#include "capture/ServerEndpoints.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::replay {

struct ReplayOptions {
    bool showTime = true;
    // Each segment on its own, as one command, instead of the reassembled streams (nothing is learned).
    bool perSegment = false;
    // The servers' ports; the switchboards that notification connections hand out are learned besides.
    std::vector<std::uint16_t> ports{capture::DefaultServerPorts.begin(), capture::DefaultServerPorts.end()};
    capture::ReadingOptions own;
    capture::ReadingOptions friends;
    settings::ContactBook contacts; // friends' alias, mute and own voice
    capture::SpeechShaping shaping; // links and length of what is spoken
    // Keeps every speech request for a renderer that runs afterwards; off, memory stays flat.
    bool collectSpeeches = false;
};

// One event, or one datagram that could not become an event (missingFieldIndex set, no event).
struct ReplayRecord {
    std::uint64_t frame = 0; // 1-based packet number in the file (of streams: the one that completed the command)
    std::string time;        // packet time stamp, local time hh:mm:ss
    std::optional<capture::ChatEvent> event;
    capture::EventOutcome outcome;
    std::optional<int> missingFieldIndex;
};

struct ReplayResult {
    std::uint64_t frames = 0;
    // Every speech request in capture order when collectSpeeches is set.
    std::vector<capture::SpeechRequest> speeches;
    // Set when the file cannot be opened or read; records already delivered stay valid.
    std::optional<std::string> error;
};

using RecordSink = std::function<void(const ReplayRecord&)>;

ReplayResult ReplayCapture(const std::string& path, const ReplayOptions& options, const RecordSink& onRecord);

// The same over an open pcap or pcapng stream; the file is closed when done.
ReplayResult ReplayCapture(std::FILE* file, const ReplayOptions& options, const RecordSink& onRecord);

// The JSON Lines form of one record (without the line break).
std::string RecordToJson(const ReplayRecord& record);

// "hh:mm:ss" of a Unix time in the local time zone.
std::string LocalClockTime(long long unixSeconds);

} // namespace quorvel::replay
