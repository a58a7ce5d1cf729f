#include "Replay.h"

#include "JsonWriter.h"
#include "capture/CaptureFile.h"
#include "capture/DatagramDecoder.h"
#include "capture/LinkLayer.h"
#include "capture/StreamDecoder.h"
#include "text/TextRules.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include "win/common/Wide.h"
#endif

namespace quorvel::replay {

namespace {

std::string ColorText(const capture::Rgb& rgb)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", unsigned{rgb.red}, unsigned{rgb.green}, unsigned{rgb.blue});
    return text;
}

} // namespace

std::string LocalClockTime(long long unixSeconds)
{
    const std::time_t seconds = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &seconds) != 0)
        return "00:00:00";
#else
    if (!localtime_r(&seconds, &local))
        return "00:00:00";
#endif
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

namespace {

// Reads records one at a time, so memory does not grow with the file.
ReplayResult ReplayFile(std::FILE* file, const ReplayOptions& options, const RecordSink& onRecord)
{
    ReplayResult result;
    capture::CaptureFile capture(file);
    if (capture.error()) {
        result.error = capture.error();
        return result;
    }
#ifdef _WIN32
    // The C runtime reads only TZ's "NAME-H" form; a zone name ("Europe/Berlin") would silently be
    // UTC. Without TZ it asks the system, which under Wine follows the same zone name.
    if (const char* zone = std::getenv("TZ"); zone && std::strpbrk(zone, "/:"))
        _putenv("TZ=");
    _tzset();
#else
    tzset();
#endif

    ReplayRecord record;
    const auto emit = [&](const capture::DecodeResult& decoded) {
        record.event.reset();
        record.outcome = {};
        record.missingFieldIndex.reset();
        if (decoded.missingFieldIndex) {
            record.missingFieldIndex = decoded.missingFieldIndex;
            onRecord(record);
            return;
        }
        for (const capture::ChatEvent& event : decoded.events) {
            record.outcome =
                capture::HandleChatEvent(event, options.own, options.friends, options.showTime, record.time,
                                         settings::ShapeSpeech(options.contacts, event, options.shaping));
            record.event = event;
            if (record.outcome.speech && options.collectSpeeches)
                result.speeches.push_back(*record.outcome.speech);
            onRecord(record);
        }
    };
    // Results arrive while a datagram is being added; they are printed with that datagram's frame.
    std::vector<capture::DecodeResult> pending;
    capture::StreamDecoder streams([&](const capture::DecodeResult& decoded) { pending.push_back(decoded); });
    streams.endpoints().setPorts(options.ports);
    const capture::ServerEndpoints& endpoints = streams.endpoints();
    const auto emitPending = [&] {
        for (const capture::DecodeResult& decoded : pending)
            emit(decoded);
        pending.clear();
    };
    std::int64_t lastExpiry = 0;

    while (const auto packet = capture.next()) {
        ++result.frames;
        const auto datagram = capture::StripLinkLayer(packet->linkType, packet->bytes);
        if (!datagram)
            continue;
        record.frame = result.frames;
        record.time = LocalClockTime(packet->seconds);
        if (options.perSegment) {
            emit(capture::DecodeDatagram(*datagram, endpoints));
            continue;
        }
        const std::int64_t now = std::int64_t{packet->seconds} * 1'000'000 + packet->microseconds;
        if (now - lastExpiry >= 1'000'000 || now < lastExpiry) {
            streams.expire(now);
            lastExpiry = now;
            emitPending();
        }
        streams.addDatagram(*datagram, now);
        emitPending();
    }
    // What is still held behind a hole is decoded as far as it goes, with the last frame's number.
    streams.flush();
    emitPending();
    result.error = capture.error();
    return result;
}

} // namespace

ReplayResult ReplayCapture(const std::string& path, const ReplayOptions& options, const RecordSink& onRecord)
{
#ifdef _WIN32
    std::FILE* file = _wfopen(win::Wide(path).c_str(), L"rb");
#else
    std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
    if (!file) {
        ReplayResult result;
        result.error = std::strerror(errno);
        return result;
    }
    return ReplayFile(file, options, onRecord);
}

ReplayResult ReplayCapture(std::FILE* file, const ReplayOptions& options, const RecordSink& onRecord)
{
    return ReplayFile(file, options, onRecord);
}

std::string RecordToJson(const ReplayRecord& record)
{
    JsonWriter json;
    json.beginObject().key("frame").value(static_cast<std::int64_t>(record.frame));
    if (record.missingFieldIndex || !record.event) {
        json.key("error").value(text::FieldResult::Missing(record.missingFieldIndex.value_or(0)).errorMessage());
        return json.endObject().str();
    }
    const capture::ChatEvent& event = *record.event;
    json.key("time").value(record.time);
    json.key("direction").value(event.direction == capture::Direction::Friend ? "friend" : "own");
    json.key("command").value(event.command);
    json.key("nickname").value(event.nickname);
    json.key("worded").value(event.wordedText);
    json.key("stripped").value(event.strippedText);
    json.key("log").beginArray();
    for (const capture::LogLine& line : record.outcome.lines)
        json.beginObject().key("text").value(line.text).key("color").value(ColorText(line.color)).endObject();
    json.endArray();
    json.key("speak");
    if (const auto& speech = record.outcome.speech) {
        json.beginObject()
            .key("voice")
            .value(speech->voice == capture::Voice::Friend ? "friend" : "own")
            .key("text")
            .value(speech->text)
            .key("contact");
        if (speech->contact.empty())
            json.null();
        else
            json.value(speech->contact);
        json.endObject();
    } else {
        json.null();
    }
    return json.endObject().str();
}

} // namespace quorvel::replay
