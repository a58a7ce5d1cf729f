#include "capture/CaptureFile.h"

#include "capture/LinkTypes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorvel::capture {

namespace {

// The first four bytes of a file, read little endian.
constexpr std::uint32_t PcapMicro = 0xA1B2C3D4, PcapMicroSwapped = 0xD4C3B2A1;
constexpr std::uint32_t PcapNano = 0xA1B23C4D, PcapNanoSwapped = 0x4D3CB2A1;
// Alexey Kuznetzov's patched libpcap: eight more bytes in each record header.
constexpr std::uint32_t PcapPatched = 0xA1B2CD34, PcapPatchedSwapped = 0x34CDB2A1;
constexpr std::uint32_t SectionHeaderType = 0x0A0D0D0A;
constexpr std::uint32_t ByteOrderMagic = 0x1A2B3C4D, ByteOrderMagicSwapped = 0x4D3C2B1A;

constexpr std::uint32_t InterfaceBlock = 1, ObsoletePacketBlock = 2, SimplePacketBlock = 3, EnhancedPacketBlock = 6;
constexpr std::uint16_t OptionEnd = 0, OptionTsResol = 9, OptionTsOffset = 14;

// libpcap's limits: no packet above 256 KiB, no block above 16 MiB.
constexpr std::uint32_t MaxSnapLength = 262144;
constexpr std::uint32_t MaxBlockLength = 16 * 1024 * 1024;

// The file's LINKTYPE_* numbers where Linux's DLT_* differ from them.
int LinkTypeToDlt(std::uint32_t linkType)
{
    switch (linkType) {
    case 100:
        return 11; // ATM_RFC1483
    case 101:
        return dlt::Raw;
    case 102:
        return 15; // SLIP_BSDOS
    case 103:
        return 16; // PPP_BSDOS
    case 106:
        return 19; // ATM_CLIP
    default:
        return static_cast<int>(linkType);
    }
}

std::uint32_t UsableSnapLength(std::uint32_t snapLength)
{
    return snapLength == 0 || snapLength > MaxSnapLength ? MaxSnapLength : snapLength;
}

std::string Text(const char* format, unsigned long long a, unsigned long long b = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

} // namespace

CaptureFile::CaptureFile(std::FILE* file) : m_file(file)
{
    std::uint8_t magic[4];
    std::size_t got = 0;
    if (!readExactly(magic, sizeof magic, got)) {
        fail(Text("truncated dump file; tried to read 4 file header bytes, only got %llu", got));
        return;
    }
    const std::uint32_t value = u32(magic);
    if (value == SectionHeaderType)
        openPcapng();
    else
        openPcap(value);
}

CaptureFile::~CaptureFile()
{
    if (m_file)
        std::fclose(m_file);
}

bool CaptureFile::fail(std::string text)
{
    m_error = std::move(text);
    return false;
}

bool CaptureFile::readExactly(void* into, std::size_t size, std::size_t& got)
{
    got = size == 0 ? 0 : std::fread(into, 1, size, m_file);
    if (got < size && std::ferror(m_file)) {
        fail(std::strerror(errno));
        return false;
    }
    return got == size;
}

std::uint16_t CaptureFile::u16(const std::uint8_t* at) const
{
    return m_bigEndian ? static_cast<std::uint16_t>(at[0] << 8 | at[1])
                       : static_cast<std::uint16_t>(at[1] << 8 | at[0]);
}

std::uint32_t CaptureFile::u32(const std::uint8_t* at) const
{
    const std::uint32_t b0 = at[0], b1 = at[1], b2 = at[2], b3 = at[3];
    return m_bigEndian ? b0 << 24 | b1 << 16 | b2 << 8 | b3 : b3 << 24 | b2 << 16 | b1 << 8 | b0;
}

void CaptureFile::openPcap(std::uint32_t magic)
{
    switch (magic) {
    case PcapMicroSwapped:
        m_bigEndian = true;
        [[fallthrough]];
    case PcapMicro:
        break;
    case PcapNanoSwapped:
        m_bigEndian = true;
        [[fallthrough]];
    case PcapNano:
        m_nanoseconds = true;
        break;
    case PcapPatchedSwapped:
        m_bigEndian = true;
        [[fallthrough]];
    case PcapPatched:
        m_recordHeaderSize = 24;
        break;
    default:
        fail("unknown file format");
        return;
    }
    std::uint8_t header[20];
    std::size_t got = 0;
    if (!readExactly(header, sizeof header, got)) {
        if (!m_error) // libpcap counts only what came after the magic
            fail(Text("truncated dump file; tried to read 24 file header bytes, only got %llu", got));
        return;
    }
    const unsigned major = u16(header), minor = u16(header + 2);
    if (major < 2) {
        fail("archaic pcap savefile format");
        return;
    }
    if (!((major == 2 && minor <= 4) || (major == 543 && minor == 0))) {
        fail(Text("unsupported pcap savefile version %llu.%llu", major, minor));
        return;
    }
    // Writers before 2.3 put the original length first; those of 2.3 did so now and then.
    m_lengthOrder = major == 543 || minor < 3 ? LengthOrder::Swapped
                    : minor == 3              ? LengthOrder::MaybeSwapped
                                              : LengthOrder::Normal;
    m_snapLength = UsableSnapLength(u32(header + 12));
    m_linkType = LinkTypeToDlt(u32(header + 16) & 0x03FFFFFF);
}

std::optional<CaptureRecord> CaptureFile::next()
{
    if (m_error)
        return std::nullopt;
    return m_pcapng ? nextPcapng() : nextPcap();
}

std::optional<CaptureRecord> CaptureFile::nextPcap()
{
    std::uint8_t header[24];
    std::size_t got = 0;
    if (!readExactly(header, m_recordHeaderSize, got)) {
        if (got > 0 && !m_error)
            fail(Text("truncated dump file; tried to read %llu header bytes, only got %llu", m_recordHeaderSize, got));
        return std::nullopt;
    }
    std::uint32_t captured = u32(header + 8), original = u32(header + 12);
    if (m_lengthOrder == LengthOrder::Swapped || (m_lengthOrder == LengthOrder::MaybeSwapped && captured > original))
        std::swap(captured, original);
    if (captured > MaxSnapLength) {
        fail(Text("invalid packet capture length %llu, bigger than snaplen of %llu", captured, m_snapLength));
        return std::nullopt;
    }
    // What lies beyond the file's snapshot length is read past, as libpcap does.
    const std::uint32_t kept = std::min(captured, m_snapLength);
    m_buffer.resize(captured);
    if (!readExactly(m_buffer.data(), kept, got)) {
        if (!m_error)
            fail(Text("truncated dump file; tried to read %llu captured bytes, only got %llu", kept, got));
        return std::nullopt;
    }
    if (!readExactly(m_buffer.data() + kept, captured - kept, got)) {
        if (!m_error)
            fail(Text("truncated dump file; tried to read %llu captured bytes, only got %llu", captured, kept + got));
        return std::nullopt;
    }
    CaptureRecord record;
    record.linkType = m_linkType;
    // libpcap keeps the fields signed in the host's byte order (little endian here) and unsigned
    // when it swaps them.
    const auto field = [&](int at) -> std::int64_t {
        return m_bigEndian ? std::int64_t{u32(header + at)} : std::int64_t{static_cast<std::int32_t>(u32(header + at))};
    };
    record.seconds = field(0);
    record.microseconds = field(4);
    if (m_nanoseconds)
        record.microseconds /= 1000;
    record.bytes = std::span(m_buffer).first(kept);
    return record;
}

void CaptureFile::openPcapng()
{
    m_pcapng = true;
    std::uint8_t rest[8];
    std::size_t got = 0;
    // What does not go on as a section header is not a pcapng file.
    if (!readExactly(rest, sizeof rest, got) ||
        (u32(rest + 4) != ByteOrderMagic && u32(rest + 4) != ByteOrderMagicSwapped)) {
        if (!m_error)
            fail("unknown file format");
        return;
    }
    readSectionHeader(rest, 0);
}

// A section header block from its length field on (afterType: length and byte order magic): its
// byte order holds for the section; the interfaces of the section before are gone. counted: how many
// bytes of the magic a short read names as read (libpcap's words differ for the first section).
bool CaptureFile::readSectionHeader(const std::uint8_t* afterType, std::size_t counted)
{
    m_bigEndian = false;
    if (u32(afterType + 4) == ByteOrderMagicSwapped)
        m_bigEndian = true;
    else if (u32(afterType + 4) != ByteOrderMagic)
        return fail("the section header block has no valid byte-order magic");
    const std::uint32_t length = u32(afterType);
    if (length < 28)
        return fail(Text("block in pcapng dump file has a length of %llu < %llu", length, 28));
    if (length % 4 != 0)
        return fail(Text("block in pcapng dump file has a length of %llu that is not a multiple of 4", length));
    if (length > MaxBlockLength)
        return fail(Text("pcapng block size %llu > maximum %llu", length, MaxBlockLength));
    m_buffer.resize(length - 12);
    std::size_t got = 0;
    if (!readExactly(m_buffer.data(), m_buffer.size(), got))
        return m_error ? false
                       : fail(Text("truncated pcapng dump file; tried to read %llu bytes, only got %llu",
                                   m_buffer.size() + counted, got + counted));
    if (u32(m_buffer.data() + m_buffer.size() - 4) != length)
        return fail("block total length in header and trailer don't match");
    const unsigned major = u16(m_buffer.data()), minor = u16(m_buffer.data() + 2);
    if (major != 1)
        return fail(Text("unsupported pcapng savefile version %llu.%llu", major, minor));
    m_interfaces.clear();
    return true;
}

bool CaptureFile::readInterface(std::span<const std::uint8_t> body)
{
    if (body.size() < 8)
        return fail("an interface description block is too short");
    Interface interface;
    interface.linkType = LinkTypeToDlt(u16(body.data()));
    interface.snapLength = UsableSnapLength(u32(body.data() + 4));
    for (std::size_t at = 8; at + 4 <= body.size();) {
        const std::uint16_t code = u16(body.data() + at), length = u16(body.data() + at + 2);
        at += 4;
        if (code == OptionEnd)
            break;
        if (length > body.size() - at)
            return fail("an option of an interface description block runs past the block");
        const std::uint8_t* value = body.data() + at;
        if (code == OptionTsResol && length >= 1) {
            const unsigned exponent = value[0] & 0x7F;
            if (value[0] & 0x80) {
                if (exponent > 63)
                    return fail(Text("interface description block has a time stamp resolution of 2^-%llu", exponent));
                interface.ticksPerSecond = std::uint64_t{1} << exponent;
            } else {
                if (exponent > 19)
                    return fail(Text("interface description block has a time stamp resolution of 10^-%llu", exponent));
                interface.ticksPerSecond = 1;
                for (unsigned i = 0; i < exponent; ++i)
                    interface.ticksPerSecond *= 10;
            }
        } else if (code == OptionTsOffset && length >= 8) {
            const std::uint64_t low = u32(value), high = u32(value + 4);
            interface.secondsOffset = static_cast<std::int64_t>(m_bigEndian ? low << 32 | high : high << 32 | low);
        }
        at += (length + 3u) / 4 * 4;
    }
    m_interfaces.push_back(interface);
    m_sawInterface = true;
    return true;
}

std::optional<CaptureRecord> CaptureFile::packet(std::uint32_t type, std::uint32_t interfaceId, std::uint64_t ticks,
                                                 std::uint32_t capturedLength, std::span<const std::uint8_t> data)
{
    if (interfaceId >= m_interfaces.size()) {
        if (!m_sawInterface)
            fail("the capture file has a packet block before any Interface Description Blocks");
        else
            fail(Text("a packet arrived on interface %llu, but there's no Interface Description Block for that "
                      "interface",
                      interfaceId));
        return std::nullopt;
    }
    const Interface& interface = m_interfaces[interfaceId];
    if (type == SimplePacketBlock) {
        capturedLength = std::min(capturedLength, interface.snapLength);
    } else if (capturedLength > interface.snapLength) {
        fail(Text("invalid packet capture length %llu, bigger than snaplen of %llu", capturedLength,
                  interface.snapLength));
        return std::nullopt;
    }
    if (capturedLength > data.size()) {
        fail(Text("block of type %llu in pcapng dump file is too short", type));
        return std::nullopt;
    }
    CaptureRecord record;
    record.linkType = interface.linkType;
    record.seconds = static_cast<long long>(ticks / interface.ticksPerSecond) + interface.secondsOffset;
    const std::uint64_t fraction = ticks % interface.ticksPerSecond;
    // Whole microseconds, cut as libpcap cuts them.
    record.microseconds =
        static_cast<std::int64_t>(static_cast<unsigned __int128>(fraction) * 1'000'000 / interface.ticksPerSecond);
    record.bytes = data.first(std::min(capturedLength, interface.snapLength));
    return record;
}

std::optional<CaptureRecord> CaptureFile::nextPcapng()
{
    for (;;) {
        std::uint8_t header[12];
        std::size_t got = 0;
        if (!readExactly(header, 8, got)) {
            if (m_error)
                return std::nullopt;
            if (got > 0)
                fail(Text("truncated pcapng dump file; tried to read %llu bytes, only got %llu", 8, got));
            else if (!m_sawInterface)
                fail("the capture file has no Interface Description Blocks");
            return std::nullopt;
        }
        const std::uint32_t type = u32(header);
        if (type == SectionHeaderType) {
            if (!readExactly(header + 8, 4, got)) {
                if (!m_error)
                    fail(Text("truncated pcapng dump file; tried to read %llu bytes, only got %llu",
                              std::max<std::uint32_t>(u32(header + 4), 12) - 8, got));
                return std::nullopt;
            }
            if (!readSectionHeader(header + 4, 4))
                return std::nullopt;
            continue;
        }
        const std::uint32_t length = u32(header + 4);
        if (length < 12) {
            fail(Text("block in pcapng dump file has a length of %llu < %llu", length, 12));
            return std::nullopt;
        }
        if (length % 4 != 0) {
            fail(Text("block in pcapng dump file has a length of %llu that is not a multiple of 4", length));
            return std::nullopt;
        }
        if (length > MaxBlockLength) {
            fail(Text("pcapng block size %llu > maximum %llu", length, MaxBlockLength));
            return std::nullopt;
        }
        m_buffer.resize(length - 8);
        if (!readExactly(m_buffer.data(), m_buffer.size(), got)) {
            if (!m_error)
                fail(Text("truncated pcapng dump file; tried to read %llu bytes, only got %llu", m_buffer.size(), got));
            return std::nullopt;
        }
        if (u32(m_buffer.data() + m_buffer.size() - 4) != length) {
            fail("block total length in header and trailer don't match");
            return std::nullopt;
        }
        const std::span<const std::uint8_t> body = std::span(m_buffer).first(m_buffer.size() - 4);
        const std::uint8_t* b = body.data();
        const auto tooShort = [&] {
            fail(Text("block of type %llu in pcapng dump file is too short", type));
            return std::nullopt;
        };
        switch (type) {
        case InterfaceBlock:
            if (!readInterface(body))
                return std::nullopt;
            break;
        case EnhancedPacketBlock:
            if (body.size() < 20)
                return tooShort();
            return packet(type, u32(b), std::uint64_t{u32(b + 4)} << 32 | u32(b + 8), u32(b + 12), body.subspan(20));
        case ObsoletePacketBlock:
            if (body.size() < 20)
                return tooShort();
            return packet(type, u16(b), std::uint64_t{u32(b + 4)} << 32 | u32(b + 8), u32(b + 12), body.subspan(20));
        case SimplePacketBlock: {
            // No time stamp, and the original length cut to the snapshot length as the captured one.
            if (body.size() < 4)
                return tooShort();
            return packet(type, 0, 0, u32(b), body.subspan(4));
        }
        default: // statistics, name resolution, custom and unknown blocks
            break;
        }
    }
}

} // namespace quorvel::capture
