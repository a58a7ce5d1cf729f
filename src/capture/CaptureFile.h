#pragma once
// Reads pcap and pcapng capture files one packet record at a time, in plain C++: the same link types
// (as DLT_* numbers), time stamps (microseconds, truncated as libpcap gives them) and captured bytes on
// either edition. Only the current record is held, so memory stays flat however long the file is.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvel::capture {

struct CaptureRecord {
    int linkType = 0;                    // DLT_* of the interface the packet came in on
    long long seconds = 0;               // Unix time
    std::int64_t microseconds = 0;       // within the second (a damaged pcap file may hold more)
    std::span<const std::uint8_t> bytes; // valid until the next call of next()
};

class CaptureFile {
public:
    // Takes the stream (opened in binary mode) and closes it when destroyed. Check error() at once:
    // a stream that is neither format, or whose header is cut off, sets it.
    explicit CaptureFile(std::FILE* file);
    ~CaptureFile();
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    // The next packet record; nothing at the end of the file or on an error (then error() says what).
    // Records delivered before an error stay as they were.
    std::optional<CaptureRecord> next();

    const std::optional<std::string>& error() const { return m_error; }

private:
    struct Interface {
        int linkType = 0;
        std::uint32_t snapLength = 0;
        std::uint64_t ticksPerSecond = 1'000'000; // from if_tsresol
        std::int64_t secondsOffset = 0;           // if_tsoffset
    };

    bool readExactly(void* into, std::size_t size, std::size_t& got);
    void openPcap(std::uint32_t magic);
    void openPcapng();
    std::optional<CaptureRecord> nextPcap();
    std::optional<CaptureRecord> nextPcapng();
    bool readSectionHeader(const std::uint8_t* afterType, std::size_t counted);
    bool readInterface(std::span<const std::uint8_t> body);
    std::optional<CaptureRecord> packet(std::uint32_t type, std::uint32_t interfaceId, std::uint64_t ticks,
                                        std::uint32_t capturedLength, std::span<const std::uint8_t> data);
    std::uint16_t u16(const std::uint8_t* at) const;
    std::uint32_t u32(const std::uint8_t* at) const;
    bool fail(std::string text);

    std::FILE* m_file;
    std::optional<std::string> m_error;
    bool m_pcapng = false;
    bool m_bigEndian = false; // of the file, or of the current section
    // pcap
    int m_linkType = 0;
    std::uint32_t m_snapLength = 0;
    bool m_nanoseconds = false;
    enum class LengthOrder { Normal, MaybeSwapped, Swapped } m_lengthOrder = LengthOrder::Normal;
    std::size_t m_recordHeaderSize = 16;
    // pcapng
    std::vector<Interface> m_interfaces;
    bool m_sawInterface = false;
    std::vector<std::uint8_t> m_buffer;
};

} // namespace quorvel::capture
