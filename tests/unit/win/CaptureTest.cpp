// The capture's set-up under Wine when its steps fail: each failed step reported in order, in the
// user's words, set-up going on; a host name that cannot be looked up ends it.

#include "win/capture/WinsockCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::win {
namespace {

struct SetupRow {
    const char* name;
    int socketError; // the raw socket refused with it; 0: a real UDP socket stands in for it, on which
                     // receive-all is refused as unsupported
    HostAnswer host;
    std::vector<std::string> reports; // each report begins so (the ioctl's number on a bad handle varies:
                                      // Wine checks the control code first)
    std::string thrown;               // the HostLookupError's text, if set-up ends in one
};

class CaptureSetupTest : public ::testing::TestWithParam<SetupRow> {};

TEST_P(CaptureSetupTest, ReportsEachFailedStep)
{
    const SetupRow& row = GetParam();
    std::vector<int> protocols;
    WinsockCapture::Machine machine;
    machine.openRawSocket = [&](int protocol) {
        protocols.push_back(protocol);
        if (row.socketError) {
            WSASetLastError(row.socketError);
            return INVALID_SOCKET;
        }
        return WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    };
    machine.lookUpHost = [&] { return row.host; };
    WinsockCapture capture({}, machine);
    std::vector<std::string> reports;
    std::string thrown;
    try {
        capture.open([&](const std::string& text) { reports.push_back(text); });
    } catch (const capture::HostLookupError& error) {
        thrown = error.what();
    }
    ASSERT_EQ(reports.size(), row.reports.size()) << ::testing::PrintToString(reports);
    for (std::size_t i = 0; i < reports.size(); ++i)
        EXPECT_TRUE(reports[i].starts_with(row.reports[i])) << reports[i];
    EXPECT_EQ(thrown, row.thrown);
    // A refused protocol 0, or receive-all refused, is tried again as TCP: the raw socket Wine offers.
    const bool again = row.socketError == WSAEPROTONOSUPPORT || (!row.socketError && row.host.address);
    const std::vector<int> asked = again ? std::vector<int>{IPPROTO_IP, IPPROTO_TCP} : std::vector<int>{IPPROTO_IP};
    EXPECT_EQ(protocols, asked);
    EXPECT_EQ(capture.isCapturing(), row.reports.empty() && row.thrown.empty());
    capture.close();
    EXPECT_FALSE(capture.isCapturing());
}

const HostAnswer Loopback{htonl(INADDR_LOOPBACK), 0, {}};

INSTANTIATE_TEST_SUITE_P(
    Steps, CaptureSetupTest,
    ::testing::Values(
        SetupRow{"NoRights",
                 WSAEACCES,
                 Loopback,
                 {"WSASocket failed with error 10013\n" + AdministratorHint(), "bind failed with error 10038",
                  "WSAIoctl failed with error ", "WSAAsyncSelect failed with error 10038"},
                 {}},
        SetupRow{"NoRawSockets",
                 WSAEPROTONOSUPPORT,
                 Loopback,
                 {"WSASocket failed with error 10043", "bind failed with error 10038",
                  "WSAIoctl failed with error ", "WSAAsyncSelect failed with error 10038"},
                 {}},
        SetupRow{"HostNotFound", WSAEACCES, HostAnswer{{}, 11001, "Host not found."},
                 {"WSASocket failed with error 10013\n" + AdministratorHint()}, "Socket Error # 11001\nHost not found."},
        SetupRow{"NoIPv4Address", 0, HostAnswer{}, {}, "List index out of bounds (0)"},
        // Receive-all refused as unsupported (Wine, and any socket that is not raw): read as it is.
        SetupRow{"ReceiveAllRefused", 0, Loopback, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::win
