// Server endpoints: the port list of the settings, the switchboard addresses that XFR and RNG hand out,
// and the learned set with its expiry and bound.

#include "capture/ServerEndpoints.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

constexpr std::uint32_t Loopback = 0x7f000001;

struct HandoutRow {
    const char* name;
    std::string line;
    std::optional<Handout> handout;
};

class HandoutTest : public ::testing::TestWithParam<HandoutRow> {};

TEST_P(HandoutTest, AddressAndPort)
{
    const auto got = ParseHandout(GetParam().line);
    ASSERT_EQ(got.has_value(), GetParam().handout.has_value());
    if (got) {
        EXPECT_EQ(got->host, GetParam().handout->host);
        EXPECT_EQ(got->address, GetParam().handout->address);
        EXPECT_EQ(got->port, GetParam().handout->port);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HandoutTest,
    ::testing::Values(
        HandoutRow{"Xfr", "XFR 8 SB 127.0.0.1:1864 CKI 329177ee9bff649ee7f8\r\n", Handout{"127.0.0.1", Loopback, 1864}},
        HandoutRow{"XfrMsnp18", "XFR 8 SB 127.0.0.1:1864 CKI 329177ee9bff649ee7f8 U messenger.msn.com 1\r\n",
                   Handout{"127.0.0.1", Loopback, 1864}},
        HandoutRow{"Rng", "RNG 1234567 127.0.0.1:40123 CKI 8f3a11 ann@example.com Ann%20Lee\r\n",
                   Handout{"127.0.0.1", Loopback, 40123}},
        HandoutRow{"RngMsnp14", "RNG 1234567 10.1.2.3:1864 CKI 8f3a11 ann@example.com Ann%20Lee U messenger.msn.com 1",
                   Handout{"10.1.2.3", 0x0a010203, 1864}},
        HandoutRow{"HostName", "XFR 9 SB m1.example.net:1864 CKI 1", Handout{"m1.example.net", std::nullopt, 1864}},
        HandoutRow{"WithoutLineBreak", "RNG 5 192.0.2.7:2000 CKI x a@b A", Handout{"192.0.2.7", 0xc0000207, 2000}},
        HandoutRow{"NotificationServerRedirect", "XFR 3 NS 207.46.106.118:1863 0 207.46.104.20:1863\r\n", std::nullopt},
        HandoutRow{"ClientsRequest", "XFR 8 SB\r\n", std::nullopt},
        HandoutRow{"NoPort", "XFR 8 SB 127.0.0.1 CKI x\r\n", std::nullopt},
        HandoutRow{"PortZero", "XFR 8 SB 127.0.0.1:0 CKI x\r\n", std::nullopt},
        HandoutRow{"PortTooLarge", "XFR 8 SB 127.0.0.1:65536 CKI x\r\n", std::nullopt},
        HandoutRow{"PortNotANumber", "RNG 1 127.0.0.1:18a4 CKI x\r\n", std::nullopt},
        HandoutRow{"NoAddressPart", "RNG 1 127.0.0.1:999 CKI\r\n", Handout{"127.0.0.1", Loopback, 999}},
        HandoutRow{"OctetTooLarge", "XFR 8 SB 127.0.0.256:1864 CKI x\r\n", std::nullopt},
        HandoutRow{"OddCharactersInHost", "XFR 8 SB ev/il:1864 CKI x\r\n", std::nullopt},
        HandoutRow{"OtherCommand", "USR 8 OK me@example.com 1 0\r\n", std::nullopt},
        HandoutRow{"LowerCaseCommand", "xfr 8 SB 127.0.0.1:1864 CKI x\r\n", std::nullopt},
        HandoutRow{"AddressOnSecondLine", "RNG 1\r\n127.0.0.1:1864 CKI x\r\n", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PortList, ReadAndWritten)
{
    using Ports = std::optional<std::vector<std::uint16_t>>;
    EXPECT_EQ(ParsePortList("1863 1864"), (Ports{{1863, 1864}}));
    EXPECT_EQ(ParsePortList("  1864\t1863 1864 "), (Ports{{1863, 1864}}));
    EXPECT_EQ(ParsePortList("65535"), (Ports{{65535}}));
    for (const char* bad : {"", "  ", "0", "65536", "1863,1864", "18 x", "-1", "123456"})
        EXPECT_EQ(ParsePortList(bad), std::nullopt) << bad;
    const std::vector<std::uint16_t> ports{1864, 80, 1863, 80};
    EXPECT_EQ(FormatPortList(ports), "80 1863 1864");
}

TEST(ServerEndpoints, LearnedBySwitchboardAddressOrPortAloneUntilIdle)
{
    ServerEndpoints set;
    EXPECT_TRUE(set.isServer(Loopback, 1863) && set.isServer(0x0a000001, 1864));
    EXPECT_FALSE(set.isServer(Loopback, 40123));

    EXPECT_FALSE(set.learn(ServerEndpoint{Loopback, 1864}, 0)); // a listed port needs no learning
    const std::uint64_t before = set.generation();
    EXPECT_TRUE(set.learn(*ParseHandout("XFR 8 SB 127.0.0.1:40123 CKI x"), 0));
    EXPECT_GT(set.generation(), before);
    EXPECT_TRUE(set.isServer(Loopback, 40123));
    EXPECT_FALSE(set.isServer(Loopback + 1, 40123));             // another host on that port is no server
    EXPECT_FALSE(set.learn(ServerEndpoint{Loopback, 40123}, 1)); // known: no change

    // A host name that no cache knows is learned by its port, for any host.
    EXPECT_TRUE(set.learn(*ParseHandout("RNG 1 m1.example.net:2000 CKI x"), 0));
    EXPECT_TRUE(set.isServer(0x0a000001, 2000) && set.isServer(Loopback, 2000));
    set.setCachedLookup([](std::string_view host) -> std::optional<std::uint32_t> {
        return host == "cached.example.net" ? std::optional<std::uint32_t>(0x0a000009) : std::nullopt;
    });
    EXPECT_TRUE(set.learn(*ParseHandout("RNG 1 cached.example.net:3000 CKI x"), 0));
    EXPECT_TRUE(set.isServer(0x0a000009, 3000));
    EXPECT_FALSE(set.isServer(0x0a000001, 3000));

    // Traffic keeps an endpoint; ten minutes without it let it go.
    set.seen(FlowKey{0xc0000201, Loopback, 50000, 40123}, LearnedEndpointMicros - 1);
    EXPECT_TRUE(set.expire(LearnedEndpointMicros));
    EXPECT_TRUE(set.isServer(Loopback, 40123));
    EXPECT_FALSE(set.isServer(0x0a000001, 2000));
    EXPECT_FALSE(set.expire(LearnedEndpointMicros + 1));
    EXPECT_FALSE(set.expire(2 * LearnedEndpointMicros - 2));
    EXPECT_TRUE(set.expire(2 * LearnedEndpointMicros - 1));
    EXPECT_EQ(set.learnedCount(), 0u);
    EXPECT_FALSE(set.isServer(Loopback, 40123));
}

TEST(ServerEndpoints, AtMostTheBoundTheOldestTrafficGoesFirst)
{
    ServerEndpoints set;
    std::vector<ServerEndpoints> seenByListener;
    set.setChangeListener([&](const ServerEndpoints& now) { seenByListener.push_back(now.snapshot()); });
    for (std::uint16_t i = 0; i < MaxLearnedEndpoints; ++i)
        set.learn(ServerEndpoint{Loopback, static_cast<std::uint16_t>(20000 + i)}, i);
    set.seen(FlowKey{Loopback, 0xc0000201, 20000, 50000}, 1000); // the first one is in use again
    EXPECT_TRUE(set.learn(ServerEndpoint{Loopback, 30000}, 1001));
    EXPECT_EQ(set.learnedCount(), MaxLearnedEndpoints);
    EXPECT_TRUE(set.isServer(Loopback, 20000));
    EXPECT_FALSE(set.isServer(Loopback, 20001));
    EXPECT_TRUE(set.isServer(Loopback, 30000));
    ASSERT_EQ(seenByListener.size(), MaxLearnedEndpoints + 1);
    EXPECT_TRUE(seenByListener.back().isServer(Loopback, 30000));
    EXPECT_EQ(seenByListener.back().learned(), set.learned());
}

TEST(ServerEndpoints, PortsOfTheSettings)
{
    const std::vector<std::uint16_t> ports{443, 1863};
    ServerEndpoints set(ports);
    EXPECT_TRUE(set.isServer(1, 443));
    EXPECT_FALSE(set.isServer(1, 1864));
    set.setPorts({});
    EXPECT_EQ(set.ports(), (std::vector<std::uint16_t>{1863, 1864}));
    const std::uint64_t generation = set.generation();
    set.setPorts(DefaultServerPorts);
    EXPECT_EQ(set.generation(), generation);
}

} // namespace
} // namespace quorvel::capture
