#include "capture/LinkLayer.h"
#include "capture/LinkTypes.h"

#include "DatagramBuilder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes Datagram = testing::BuildDatagram(1863, 50000, "MSG a b c 1\r\nContent-Type: text/plain\r\n\r\nx");
const Bytes PureAck = testing::BuildDatagram(1863, 50000, "");

Bytes Join(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

Bytes Ethernet(std::uint16_t type)
{
    return Join(Bytes(12, 0), {std::uint8_t(type >> 8), std::uint8_t(type)});
}

Bytes Sll(std::uint16_t protocol)
{
    Bytes header{0, 0, 0, 1, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0, 0, 0};
    testing::PutBe16(header, 14, protocol);
    return header;
}

Bytes Sll2(std::uint16_t protocol)
{
    Bytes header(20, 0);
    testing::PutBe16(header, 0, protocol);
    header[11] = 6;
    return header;
}

Bytes WithTotalLength(Bytes datagram, std::uint16_t totalLength)
{
    testing::PutBe16(datagram, 2, totalLength);
    return datagram;
}

struct LinkCase {
    const char* name;
    int dlt;
    Bytes frame;
    std::optional<Bytes> expected;
};

const std::vector<LinkCase> Cases = {
    {"Ethernet", dlt::En10Mb, Join(Ethernet(0x0800), Datagram), Datagram},
    {"EthernetVlan", dlt::En10Mb, Join(Join(Ethernet(0x8100), {0x00, 0x05, 0x08, 0x00}), Datagram), Datagram},
    {"EthernetVlanIpv6", dlt::En10Mb, Join(Join(Ethernet(0x8100), {0x00, 0x05, 0x86, 0xDD}), Datagram), std::nullopt},
    {"EthernetTwoVlanTags", dlt::En10Mb,
     Join(Join(Ethernet(0x8100), {0x00, 0x05, 0x81, 0x00, 0x00, 0x06, 0x08, 0x00}), Datagram), std::nullopt},
    {"EthernetIpv6", dlt::En10Mb, Join(Ethernet(0x86DD), Datagram), std::nullopt},
    {"EthernetArp", dlt::En10Mb, Join(Ethernet(0x0806), Datagram), std::nullopt},
    {"EthernetPaddingDropped", dlt::En10Mb, Join(Join(Ethernet(0x0800), PureAck), Bytes(6, 0)), PureAck},
    {"EthernetZeroTotalLengthKeepsAll", dlt::En10Mb, Join(Ethernet(0x0800), WithTotalLength(Datagram, 0)),
     WithTotalLength(Datagram, 0)},
    {"EthernetTotalLengthPastEndKeepsAll", dlt::En10Mb, Join(Ethernet(0x0800), WithTotalLength(Datagram, 9000)),
     WithTotalLength(Datagram, 9000)},
    {"EthernetHeaderOnly", dlt::En10Mb, Ethernet(0x0800), std::nullopt},
    {"EthernetTruncatedHeader", dlt::En10Mb, Bytes(13, 0), std::nullopt},
    {"EthernetVlanTruncated", dlt::En10Mb, Join(Ethernet(0x8100), {0x00, 0x05, 0x08}), std::nullopt},
    {"EthernetEmpty", dlt::En10Mb, {}, std::nullopt},
    {"LinuxSll", dlt::LinuxSll, Join(Sll(0x0800), Datagram), Datagram},
    {"LinuxSllIpv6", dlt::LinuxSll, Join(Sll(0x86DD), Datagram), std::nullopt},
    {"LinuxSllTruncated", dlt::LinuxSll, Bytes(15, 0), std::nullopt},
    {"LinuxSll2", dlt::LinuxSll2, Join(Sll2(0x0800), Datagram), Datagram},
    {"LinuxSll2Ipv6", dlt::LinuxSll2, Join(Sll2(0x86DD), Datagram), std::nullopt},
    {"LinuxSll2Truncated", dlt::LinuxSll2, Bytes{0x08, 0x00, 0, 0}, std::nullopt},
    {"Raw", dlt::Raw, Datagram, Datagram},
    {"RawIpv6", dlt::Raw, Join({0x60}, Bytes(39, 0)), std::nullopt},
    {"RawEmpty", dlt::Raw, {}, std::nullopt},
    {"Ipv4", dlt::Ipv4, Datagram, Datagram},
    {"Ipv4VersionSix", dlt::Ipv4, Join({0x60}, Bytes(39, 0)), std::nullopt},
    {"NullLittleEndian", dlt::Null, Join({2, 0, 0, 0}, Datagram), Datagram},
    {"NullBigEndian", dlt::Null, Join({0, 0, 0, 2}, Datagram), Datagram},
    {"NullInet6Linux", dlt::Null, Join({10, 0, 0, 0}, Datagram), std::nullopt},
    {"NullInet6Bsd", dlt::Null, Join({30, 0, 0, 0}, Datagram), std::nullopt},
    {"NullTruncated", dlt::Null, Bytes{2, 0, 0}, std::nullopt},
    {"LoopBigEndian", dlt::Loop, Join({0, 0, 0, 2}, Datagram), Datagram},
    {"LoopLittleEndian", dlt::Loop, Join({2, 0, 0, 0}, Datagram), Datagram},
    {"Unsupported80211", dlt::Ieee80211, Join(Ethernet(0x0800), Datagram), std::nullopt},
    {"UnknownNumber", 99999, Datagram, std::nullopt},
};

class StripLinkLayerTest : public ::testing::TestWithParam<LinkCase> {};

TEST_P(StripLinkLayerTest, Strips)
{
    const LinkCase& c = GetParam();
    const auto result = StripLinkLayer(c.dlt, c.frame);
    ASSERT_EQ(result.has_value(), c.expected.has_value());
    if (result) {
        EXPECT_EQ(Bytes(result->begin(), result->end()), *c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, StripLinkLayerTest, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::capture
