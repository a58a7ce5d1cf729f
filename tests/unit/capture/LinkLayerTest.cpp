#include "capture/LinkLayer.h"

#include "DatagramBuilder.h"

#include <gtest/gtest.h>
#include <pcap/dlt.h>

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
    {"Ethernet", DLT_EN10MB, Join(Ethernet(0x0800), Datagram), Datagram},
    {"EthernetVlan", DLT_EN10MB, Join(Join(Ethernet(0x8100), {0x00, 0x05, 0x08, 0x00}), Datagram), Datagram},
    {"EthernetVlanIpv6", DLT_EN10MB, Join(Join(Ethernet(0x8100), {0x00, 0x05, 0x86, 0xDD}), Datagram), std::nullopt},
    {"EthernetTwoVlanTags", DLT_EN10MB,
     Join(Join(Ethernet(0x8100), {0x00, 0x05, 0x81, 0x00, 0x00, 0x06, 0x08, 0x00}), Datagram), std::nullopt},
    {"EthernetIpv6", DLT_EN10MB, Join(Ethernet(0x86DD), Datagram), std::nullopt},
    {"EthernetArp", DLT_EN10MB, Join(Ethernet(0x0806), Datagram), std::nullopt},
    {"EthernetPaddingDropped", DLT_EN10MB, Join(Join(Ethernet(0x0800), PureAck), Bytes(6, 0)), PureAck},
    {"EthernetZeroTotalLengthKeepsAll", DLT_EN10MB, Join(Ethernet(0x0800), WithTotalLength(Datagram, 0)),
     WithTotalLength(Datagram, 0)},
    {"EthernetTotalLengthPastEndKeepsAll", DLT_EN10MB, Join(Ethernet(0x0800), WithTotalLength(Datagram, 9000)),
     WithTotalLength(Datagram, 9000)},
    {"EthernetHeaderOnly", DLT_EN10MB, Ethernet(0x0800), std::nullopt},
    {"EthernetTruncatedHeader", DLT_EN10MB, Bytes(13, 0), std::nullopt},
    {"EthernetVlanTruncated", DLT_EN10MB, Join(Ethernet(0x8100), {0x00, 0x05, 0x08}), std::nullopt},
    {"EthernetEmpty", DLT_EN10MB, {}, std::nullopt},
    {"LinuxSll", DLT_LINUX_SLL, Join(Sll(0x0800), Datagram), Datagram},
    {"LinuxSllIpv6", DLT_LINUX_SLL, Join(Sll(0x86DD), Datagram), std::nullopt},
    {"LinuxSllTruncated", DLT_LINUX_SLL, Bytes(15, 0), std::nullopt},
    {"LinuxSll2", DLT_LINUX_SLL2, Join(Sll2(0x0800), Datagram), Datagram},
    {"LinuxSll2Ipv6", DLT_LINUX_SLL2, Join(Sll2(0x86DD), Datagram), std::nullopt},
    {"LinuxSll2Truncated", DLT_LINUX_SLL2, Bytes{0x08, 0x00, 0, 0}, std::nullopt},
    {"Raw", DLT_RAW, Datagram, Datagram},
    {"RawIpv6", DLT_RAW, Join({0x60}, Bytes(39, 0)), std::nullopt},
    {"RawEmpty", DLT_RAW, {}, std::nullopt},
    {"Ipv4", DLT_IPV4, Datagram, Datagram},
    {"Ipv4VersionSix", DLT_IPV4, Join({0x60}, Bytes(39, 0)), std::nullopt},
    {"NullLittleEndian", DLT_NULL, Join({2, 0, 0, 0}, Datagram), Datagram},
    {"NullBigEndian", DLT_NULL, Join({0, 0, 0, 2}, Datagram), Datagram},
    {"NullInet6Linux", DLT_NULL, Join({10, 0, 0, 0}, Datagram), std::nullopt},
    {"NullInet6Bsd", DLT_NULL, Join({30, 0, 0, 0}, Datagram), std::nullopt},
    {"NullTruncated", DLT_NULL, Bytes{2, 0, 0}, std::nullopt},
    {"LoopBigEndian", DLT_LOOP, Join({0, 0, 0, 2}, Datagram), Datagram},
    {"LoopLittleEndian", DLT_LOOP, Join({2, 0, 0, 0}, Datagram), Datagram},
    {"Unsupported80211", DLT_IEEE802_11, Join(Ethernet(0x0800), Datagram), std::nullopt},
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
