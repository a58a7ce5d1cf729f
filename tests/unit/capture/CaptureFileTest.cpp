// Capture files built byte by byte, read back record by record.

#include "capture/CaptureFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Appends numbers in one byte order.
struct Writer {
    bool big = false;
    Bytes out;
    Writer& n(std::uint64_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<std::uint8_t>(value >> 8 * (big ? bytes - 1 - i : i)));
        return *this;
    }
    Writer& raw(const Bytes& bytes)
    {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // A pcapng block: type, length, body padded to four bytes, length again.
    Writer& block(std::uint32_t type, Bytes body)
    {
        body.resize((body.size() + 3) / 4 * 4);
        const auto length = static_cast<std::uint32_t>(body.size() + 12);
        return n(type, 4).n(length, 4).raw(body).n(length, 4);
    }
    Bytes body(const std::function<void(Writer&)>& fill) const
    {
        Writer inner{big, {}};
        fill(inner);
        return inner.out;
    }
    Writer& section()
    {
        return block(0x0A0D0D0A, body([](Writer& w) { w.n(0x1A2B3C4D, 4).n(1, 2).n(0, 2).n(~0ull, 8); }));
    }
    Writer& interface(std::uint16_t linkType, std::uint32_t snap, int tsresol = -1)
    {
        return block(1, body([&](Writer& w) {
                         w.n(linkType, 2).n(0, 2).n(snap, 4);
                         if (tsresol >= 0)
                             w.n(9, 2).n(1, 2).n(static_cast<std::uint64_t>(tsresol), 1).n(0, 3).n(0, 4);
                     }));
    }
    Writer& enhanced(std::uint32_t id, std::uint64_t ticks, const Bytes& data)
    {
        return block(6, body([&](Writer& w) {
                         w.n(id, 4).n(ticks >> 32, 4).n(ticks & 0xFFFFFFFF, 4).n(data.size(), 4).n(data.size(), 4);
                         w.raw(data);
                     }));
    }
    Writer& pcapHeader(std::uint32_t magic, std::uint32_t snap, std::uint32_t linkType)
    {
        return n(magic, 4).n(2, 2).n(4, 2).n(0, 4).n(0, 4).n(snap, 4).n(linkType, 4);
    }
    Writer& pcapRecord(std::uint32_t seconds, std::uint32_t fraction, const Bytes& data)
    {
        return n(seconds, 4).n(fraction, 4).n(data.size(), 4).n(data.size() + 100, 4).raw(data);
    }
};

struct Expected {
    int linkType;
    long long seconds;
    std::int64_t microseconds;
    Bytes bytes;
    bool operator==(const Expected&) const = default;
};

void PrintTo(const Expected& e, std::ostream* os)
{
    *os << "{link " << e.linkType << ", " << e.seconds << "." << e.microseconds << ", " << e.bytes.size() << " bytes}";
}

struct Case {
    const char* name;
    Bytes file;
    std::vector<Expected> records;
    std::string error; // the start of it; empty: none
};

const Bytes A{1, 2, 3}, B{4, 5, 6, 7, 8}, C{9};

Bytes Cut(Bytes bytes, std::size_t less)
{
    bytes.resize(bytes.size() - less);
    return bytes;
}

const std::vector<Case> Cases = {
    {"NanosecondPcap",
     Writer{}.pcapHeader(0xA1B23C4D, 65535, 1).pcapRecord(1609491907, 999999999, A).pcapRecord(7, 1500, B).out,
     {{1, 1609491907, 999999, A}, {1, 7, 1, B}},
     ""},
    // Big endian, LINKTYPE_RAW (101) as DLT_RAW, and a snapshot length that cuts the second packet.
    {"SwappedPcap",
     Writer{true, {}}.pcapHeader(0xA1B2C3D4, 4, 101).pcapRecord(3, 250000, A).pcapRecord(4, 5, B).out,
     {{12, 3, 250000, A}, {12, 4, 5, {4, 5, 6, 7}}},
     ""},
    {"TruncatedPcapRecord",
     Cut(Writer{}.pcapHeader(0xA1B2C3D4, 65535, 1).pcapRecord(3, 0, A).pcapRecord(4, 0, B).out, 2),
     {{1, 3, 0, A}},
     "truncated dump file; tried to read 5 captured bytes, only got 3"},
    // Microseconds by default, milliseconds (10^-3), 2^-10 seconds; statistics and simple packets;
    // a second, big-endian section whose interface 0 is another.
    {"PcapngInterfacesAndSections",
     [] {
         Writer w;
         w.section().interface(1, 0).interface(101, 65535, 3).interface(228, 0, 0x8A);
         w.enhanced(0, 5'000'007, A).block(5, {1, 2, 3, 4}).enhanced(1, 12'345, B).enhanced(2, 3 * 1024 + 512, C);
         w.block(3, w.body([](Writer& b) { b.n(3, 4).raw(A); }));
         w.block(2, w.body([](Writer& b) { b.n(1, 2).n(0, 2).n(0, 4).n(2'002, 4).n(1, 4).n(1, 4).raw(C); }));
         Writer big{true, w.out};
         big.section().interface(113, 0).enhanced(0, 1'000'000'001, B);
         return big.out;
     }(),
     {{1, 5, 7, A}, {12, 12, 345000, B}, {228, 3, 500000, C}, {1, 0, 0, A}, {12, 2, 2000, C}, {113, 1000, 1, B}},
     ""},
    {"TruncatedPcapngBlock",
     Cut(Writer{}.section().interface(1, 0).enhanced(0, 1, A).enhanced(0, 2, B).out, 3),
     {{1, 0, 1, A}},
     "truncated pcapng dump file"},
    {"PacketOnMissingInterface",
     Writer{}.section().interface(1, 0).enhanced(1, 1, A).out,
     {},
     "a packet arrived on interface 1"},
    {"NotACapture", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}, {}, "unknown file format"},
    {"Empty", {}, {}, "truncated dump file; tried to read 4 file header bytes, only got 0"},
};

class CaptureFileCases : public ::testing::TestWithParam<Case> {};

TEST_P(CaptureFileCases, Records)
{
    const test::TempDir dir;
    const auto path = dir.path() / "capture";
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(GetParam().file.data()),
                   static_cast<std::streamsize>(GetParam().file.size()));
    }
#ifdef _WIN32
    std::FILE* stream = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* stream = std::fopen(path.c_str(), "rb");
#endif
    ASSERT_NE(stream, nullptr);
    CaptureFile file(stream);
    std::vector<Expected> records;
    while (const auto record = file.next())
        records.push_back({record->linkType, record->seconds, record->microseconds,
                           Bytes(record->bytes.begin(), record->bytes.end())});
    EXPECT_EQ(records, GetParam().records);
    if (GetParam().error.empty())
        EXPECT_EQ(file.error(), std::nullopt);
    else
        EXPECT_TRUE(file.error() && file.error()->starts_with(GetParam().error)) << file.error().value_or("none");
    EXPECT_FALSE(file.next()) << "nothing after the end or an error";
}

INSTANTIATE_TEST_SUITE_P(Files, CaptureFileCases, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::capture
