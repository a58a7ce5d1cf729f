// The set-up sequence of the live capture on machines of the test's own: which reports come, in
// which order, and where a failed host lookup ends the set-up.

#include "capture/live/CaptureErrors.h"
#include "capture/live/PcapCaptureSource.h"

#include <QCoreApplication>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

#include <net/if.h>

namespace quorvel::capture {
namespace {

PcapCaptureSource::Machine MachineWith(HostLookup lookup, std::vector<NetInterface> interfaces,
                                       std::optional<std::string> defaultRoute = std::nullopt)
{
    PcapCaptureSource::Machine machine;
    machine.lookupHost = [lookup] { return lookup; };
    machine.listInterfaces = [interfaces] { return interfaces; };
    machine.defaultRouteInterface = [defaultRoute] { return defaultRoute; };
    return machine;
}

HostLookup Found(Ipv4 address)
{
    return {HostLookup::Status::Found, address, 0, {}};
}

// Whether this process may capture at all: the first step then succeeds.
bool FirstStepSucceeds(const QStringList& reports)
{
    return reports.isEmpty() || !reports.first().startsWith(QStringLiteral("WSASocket failed"));
}

struct LookupCase {
    const char* name;
    HostLookup lookup;
    const char* expectedText;
};

void PrintTo(const LookupCase& row, std::ostream* out)
{
    *out << row.name;
}

class FailedHostLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(FailedHostLookup, EndsTheSetUpWithTheErrorAfterTheFirstStep)
{
    PcapCaptureSource source(MachineWith(GetParam().lookup, {{"lo", {MakeIpv4(127, 0, 0, 1)}, IFF_UP | IFF_LOOPBACK}}));
    QStringList reports;
    try {
        source.open([&](const QString& text) { reports << text; });
        FAIL() << "no error thrown";
    } catch (const HostLookupError& error) {
        EXPECT_STREQ(error.what(), GetParam().expectedText);
    }
    // At most the first step's report: bind, receive-all and notification are not attempted.
    ASSERT_LE(reports.size(), 1);
    if (!reports.isEmpty()) {
        EXPECT_TRUE(reports.first().startsWith(QStringLiteral("WSASocket failed with error ")));
    }
    EXPECT_FALSE(source.isCapturing());
    EXPECT_TRUE(source.interfaceName().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Lookups, FailedHostLookup,
                         testing::Values(LookupCase{"HostNotFound",
                                                    {HostLookup::Status::Failed, 0, 11001, "Name or service not known"},
                                                    "Socket Error # 11001\nName or service not known"},
                                         LookupCase{"NoIpv4Address",
                                                    {HostLookup::Status::NoAddress, 0, 0, {}},
                                                    "List index out of bounds (0)"}),
                         [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

TEST(CaptureSetup, InterfaceThatDoesNotExistFailsBindAndTheStepsAfterIt)
{
    PcapCaptureSource source(
        MachineWith(Found(MakeIpv4(10, 9, 8, 7)), {{"qvnosuch0", {MakeIpv4(10, 9, 8, 7)}, IFF_UP}}));
    QStringList reports;
    source.open([&](const QString& text) { reports << text; });
    ASSERT_FALSE(reports.isEmpty());
    if (FirstStepSucceeds(reports)) {
        EXPECT_EQ(reports, (QStringList{"bind failed with error 19", "WSAIoctl failed with error 9",
                                        "WSAAsyncSelect failed with error 9"}));
    } else {
        ASSERT_EQ(reports.size(), 4);
        EXPECT_TRUE(reports[0].startsWith("WSASocket failed with error 1\n"));
        EXPECT_EQ(reports.mid(1), (QStringList{"bind failed with error 9", "WSAIoctl failed with error 9",
                                               "WSAAsyncSelect failed with error 9"}));
    }
    EXPECT_FALSE(source.isCapturing());
}

TEST(CaptureSetup, NoInterfaceToChooseFailsBindWithNoSuchDevice)
{
    // A loopback host address, no default route, no loopback interface.
    PcapCaptureSource source(MachineWith(Found(MakeIpv4(127, 0, 1, 1)), {{"eth0", {MakeIpv4(10, 1, 1, 1)}, IFF_UP}}));
    QStringList reports;
    source.open([&](const QString& text) { reports << text; });
    if (FirstStepSucceeds(reports)) {
        EXPECT_EQ(reports, (QStringList{"bind failed with error 19", "WSAIoctl failed with error 9",
                                        "WSAAsyncSelect failed with error 9"}));
    } else {
        ASSERT_EQ(reports.size(), 4);
        EXPECT_EQ(reports[1], "bind failed with error 9");
    }
    EXPECT_FALSE(source.isCapturing());
}

TEST(CaptureSetup, PermissionHintComesOnceOnTheFirstBox)
{
    PcapCaptureSource source(
        MachineWith(Found(MakeIpv4(127, 0, 0, 1)), {{"lo", {MakeIpv4(127, 0, 0, 1)}, IFF_UP | IFF_LOOPBACK}}));
    QStringList reports;
    source.open([&](const QString& text) { reports << text; });
    if (FirstStepSucceeds(reports))
        GTEST_SKIP() << "this process may capture; the e2e tests cover the missing permission";
    ASSERT_EQ(reports.size(), 4);
    EXPECT_TRUE(reports[0].contains(QStringLiteral("cap_net_raw")) || reports[0].contains("grant-capture"));
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(reports[i].count('\n'), 0) << reports[i].toStdString();
}

} // namespace
} // namespace quorvel::capture

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
