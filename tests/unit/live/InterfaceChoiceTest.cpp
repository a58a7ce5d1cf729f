#include "capture/live/InterfaceChoice.h"

#include <net/if.h>

#include <gtest/gtest.h>

#include <ostream>

#include <optional>
#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

constexpr unsigned Up = IFF_UP | IFF_RUNNING;
constexpr unsigned Loop = IFF_UP | IFF_RUNNING | IFF_LOOPBACK;

const NetInterface Lo{"lo", {MakeIpv4(127, 0, 0, 1)}, Loop};
const NetInterface LoDown{"lo", {MakeIpv4(127, 0, 0, 1)}, IFF_LOOPBACK};
const NetInterface Eth0{"eth0", {MakeIpv4(192, 168, 1, 20)}, Up};
const NetInterface Eth1{"eth1", {MakeIpv4(10, 0, 0, 5), MakeIpv4(10, 0, 0, 6)}, Up};
const NetInterface Wlan0{"wlan0", {MakeIpv4(192, 168, 8, 3)}, Up};
const NetInterface Eth0Down{"eth0", {MakeIpv4(192, 168, 1, 20)}, 0};
const NetInterface Docker0{"docker0", {MakeIpv4(172, 17, 0, 1)}, Up};
const NetInterface Br0Same{"br0", {MakeIpv4(192, 168, 1, 20)}, Up};

struct ChoiceCase {
    const char* name;
    Ipv4 hostAddress;
    std::vector<NetInterface> interfaces;
    std::optional<std::string> defaultRoute;
    std::optional<std::string> expected;
};

void PrintTo(const ChoiceCase& row, std::ostream* out)
{
    *out << row.name;
}

class InterfaceChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(InterfaceChoice, PicksTheExpectedInterface)
{
    const auto& row = GetParam();
    EXPECT_EQ(ChooseCaptureInterface(row.hostAddress, row.interfaces, row.defaultRoute), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, InterfaceChoice,
    testing::Values(
        ChoiceCase{"HostAddressOnEth0", MakeIpv4(192, 168, 1, 20), {Lo, Eth0}, "eth0", "eth0"},
        ChoiceCase{"HostAddressWinsOverTheDefaultRoute", MakeIpv4(10, 0, 0, 5), {Lo, Eth0, Eth1}, "eth0", "eth1"},
        ChoiceCase{"SecondAddressOfAnInterface", MakeIpv4(10, 0, 0, 6), {Lo, Eth1}, std::nullopt, "eth1"},
        ChoiceCase{
            "FirstAddressOnTheSecondInterface", MakeIpv4(192, 168, 8, 3), {Lo, Eth0, Wlan0, Docker0}, "eth0", "wlan0"},
        ChoiceCase{
            "DebianHostNameOn127011GoesToTheDefaultRoute", MakeIpv4(127, 0, 1, 1), {Lo, Wlan0}, "wlan0", "wlan0"},
        ChoiceCase{"LoopbackHostAddressIsNeverTakenFromLo", MakeIpv4(127, 0, 0, 1), {Lo, Eth0}, "eth0", "eth0"},
        ChoiceCase{"LoopbackWithoutDefaultRouteFallsBackToLo", MakeIpv4(127, 0, 0, 1), {Lo, Eth0}, std::nullopt, "lo"},
        ChoiceCase{"AddressOnNoInterfaceGoesToTheDefaultRoute", MakeIpv4(203, 0, 113, 9), {Lo, Eth0}, "eth0", "eth0"},
        ChoiceCase{"AddressOnNoInterfaceNoDefaultRoute", MakeIpv4(203, 0, 113, 9), {Lo, Eth0}, std::nullopt, "lo"},
        ChoiceCase{"HolderDownCountsAsNoHolder", MakeIpv4(192, 168, 1, 20), {Lo, Eth0Down, Wlan0}, "wlan0", "wlan0"},
        ChoiceCase{"HolderDownNoDefaultRoute", MakeIpv4(192, 168, 1, 20), {Lo, Eth0Down}, std::nullopt, "lo"},
        ChoiceCase{
            "LoopbackInterfaceIsTheLastResortEvenWhenDown", MakeIpv4(127, 0, 0, 1), {LoDown}, std::nullopt, "lo"},
        ChoiceCase{"SameAddressOnTwoInterfacesFirstListedWins",
                   MakeIpv4(192, 168, 1, 20),
                   {Lo, Br0Same, Eth0},
                   std::nullopt,
                   "br0"},
        ChoiceCase{"EmptyDefaultRouteNameIsNoRoute", MakeIpv4(127, 0, 1, 1), {Lo, Eth0}, std::string(), "lo"},
        ChoiceCase{"NothingToChoose", MakeIpv4(127, 0, 0, 1), {Eth0}, std::nullopt, std::nullopt},
        ChoiceCase{"NoInterfacesAtAll", MakeIpv4(192, 168, 1, 20), {}, std::nullopt, std::nullopt}),
    [](const testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

struct RouteCase {
    const char* name;
    const char* table;
    std::optional<std::string> expected;
};

void PrintTo(const RouteCase& row, std::ostream* out)
{
    *out << row.name;
}

class DefaultRoute : public testing::TestWithParam<RouteCase> {};

TEST_P(DefaultRoute, ReadsTheRouteTable)
{
    EXPECT_EQ(DefaultRouteInterface(GetParam().table), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DefaultRoute,
    testing::Values(RouteCase{"Typical",
                              "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                              "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                              "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n",
                              "eth0"},
                    RouteCase{"LowestMetricWins",
                              "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                              "wlan0\t00000000\t0108A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                              "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
                              "eth0"},
                    RouteCase{"EqualMetricsFirstListedWins",
                              "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                              "wlan0\t00000000\t0108A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                              "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
                              "wlan0"},
                    RouteCase{"RouteNotUpIsSkipped",
                              "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                              "eth0\t00000000\t0101A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n",
                              std::nullopt},
                    RouteCase{"HalfOfTheAddressSpaceIsNoDefault",
                              "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                              "tun0\t00000000\t0100080A\t0003\t0\t0\t0\t00000080\t0\t0\t0\n"
                              "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
                              "eth0"},
                    RouteCase{"OnlyLocalRoutes",
                              "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                              "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n",
                              std::nullopt},
                    RouteCase{"HeaderOnly", "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n",
                              std::nullopt},
                    RouteCase{"Empty", "", std::nullopt},
                    RouteCase{"GarbageLinesAreSkipped",
                              "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                              "broken line\n"
                              "eth9\tzz000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                              "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0",
                              "eth0"}),
    [](const testing::TestParamInfo<RouteCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::capture
