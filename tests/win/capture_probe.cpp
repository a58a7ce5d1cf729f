// quorvel-capture-probe: the Windows capture layer on its own, for the end-to-end test. Opens the capture as
// the window does, decodes what it hands over with the stream decoder, and prints one JSON line per chat
// event (the fields quorvel-replay prints for it) until its standard input ends; then one line of counts.
//
//   quorvel-capture-probe ["PORT ..."]

#include "JsonWriter.h"
#include "capture/StreamDecoder.h"
#include "win/capture/WinsockCapture.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

using namespace quorvel;

namespace {

std::int64_t Micros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PrintEvent(const capture::ChatEvent& event)
{
    replay::JsonWriter json;
    json.beginObject();
    json.key("direction").value(event.direction == capture::Direction::Friend ? "friend" : "own");
    json.key("command").value(event.command);
    json.key("nickname").value(event.nickname);
    json.key("worded").value(event.wordedText);
    json.key("stripped").value(event.strippedText);
    json.endObject();
    std::printf("%s\n", json.str().c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    capture::StreamDecoder streams([](const capture::DecodeResult& decoded) {
        for (const capture::ChatEvent& event : decoded.events)
            PrintEvent(event);
    });
    if (argc > 1) {
        const auto ports = capture::ParsePortList(argv[1]);
        if (!ports) {
            std::fprintf(stderr, "quorvel-capture-probe: not a port list: %s\n", argv[1]);
            return 2;
        }
        streams.endpoints().setPorts(*ports);
    }

    HANDLE waiting = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    win::WinsockCapture capture([waiting] { SetEvent(waiting); });
    streams.endpoints().setChangeListener([&](const capture::ServerEndpoints& endpoints) {
        capture.setServerEndpoints(endpoints);
    });
    capture.setServerEndpoints(streams.endpoints());
    try {
        capture.open([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    } catch (const capture::HostLookupError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    if (!capture.isCapturing())
        return 1;
    std::printf("{\"ready\":true,\"receiveAll\":%s}\n", capture.statistics().receiveAll ? "true" : "false");
    std::fflush(stdout);

    HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread input([ended] {
        for (std::string line; std::getline(std::cin, line);) {
        }
        SetEvent(ended);
    });
    const HANDLE events[2] = {waiting, ended};
    for (bool last = false; !last;) {
        last = WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0;
        for (const auto& datagram : capture.takeDatagrams())
            streams.addDatagram(datagram, Micros());
        if (const auto error = capture.takeReadFailure()) {
            std::fprintf(stderr, "%s\n", capture::FailureText("recv", *error).c_str());
            last = true;
        }
    }
    input.join();
    const auto counts = capture.statistics();
    capture.close();
    std::printf("{\"received\":%llu,\"passed\":%llu,\"queueDropped\":%llu,\"handouts\":%llu}\n",
                static_cast<unsigned long long>(counts.received), static_cast<unsigned long long>(counts.passed),
                static_cast<unsigned long long>(counts.queueDropped), static_cast<unsigned long long>(counts.handouts));
    return 0;
}
