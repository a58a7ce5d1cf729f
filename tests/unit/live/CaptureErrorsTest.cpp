#include "capture/live/CaptureErrors.h"

#include <netdb.h>
#include <pcap/pcap.h>

#include <gtest/gtest.h>

#include <ostream>

#include <cerrno>
#include <string>

namespace quorvel::capture {
namespace {

struct NumberCase {
    const char* name;
    int status;
    int savedErrno;
    int expected;
};

void PrintTo(const NumberCase& row, std::ostream* out)
{
    *out << row.name;
}

class ActivateError : public testing::TestWithParam<NumberCase> {};

TEST_P(ActivateError, MapsToASystemNumber)
{
    EXPECT_EQ(ActivateErrorNumber(GetParam().status, GetParam().savedErrno), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, ActivateError,
    testing::Values(NumberCase{"PermissionDenied", PCAP_ERROR_PERM_DENIED, 0, EPERM},
                    NumberCase{"PermissionDeniedWhateverErrnoSays", PCAP_ERROR_PERM_DENIED, EACCES, EPERM},
                    NumberCase{"PromiscuousPermissionDenied", PCAP_ERROR_PROMISC_PERM_DENIED, 0, EPERM},
                    NumberCase{"NoSuchDevice", PCAP_ERROR_NO_SUCH_DEVICE, 0, ENODEV},
                    NumberCase{"InterfaceDown", PCAP_ERROR_IFACE_NOT_UP, 0, ENETDOWN},
                    NumberCase{"MonitorModeUnsupported", PCAP_ERROR_RFMON_NOTSUP, 0, EOPNOTSUPP},
                    NumberCase{"GenericKeepsErrno", PCAP_ERROR, EMFILE, EMFILE},
                    NumberCase{"GenericWithoutErrno", PCAP_ERROR, 0, EIO}),
    [](const testing::TestParamInfo<NumberCase>& info) { return std::string(info.param.name); });

struct DispatchCase {
    const char* name;
    const char* text;
    int savedErrno;
    int expected;
};

void PrintTo(const DispatchCase& row, std::ostream* out)
{
    *out << row.name;
}

class DispatchError : public testing::TestWithParam<DispatchCase> {};

TEST_P(DispatchError, MapsLibpcapsWordsToASystemNumber)
{
    EXPECT_EQ(DispatchErrorNumber(GetParam().text, GetParam().savedErrno), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, DispatchError,
                         testing::Values(DispatchCase{"WentDown", "The interface went down", 0, ENETDOWN},
                                         DispatchCase{"Disappeared", "The interface disappeared", EINTR, ENETDOWN},
                                         DispatchCase{"NoSuchDevice", "recvfrom: No such device", 0, ENODEV},
                                         DispatchCase{"OtherKeepsErrno", "recvfrom: Bad address", EFAULT, EFAULT},
                                         DispatchCase{"OtherWithoutErrno", "something odd", 0, EIO}),
                         [](const testing::TestParamInfo<DispatchCase>& info) { return std::string(info.param.name); });

class HostLookupError : public testing::TestWithParam<NumberCase> {};

TEST_P(HostLookupError, MapsToTheResolversClassicNumbers)
{
    EXPECT_EQ(HostLookupErrorNumber(GetParam().status, GetParam().savedErrno), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Results, HostLookupError,
                         testing::Values(NumberCase{"HostNotFound", EAI_NONAME, 0, 11001},
                                         NumberCase{"NoAddressOfThatFamily", EAI_ADDRFAMILY, 0, 11001},
                                         NumberCase{"TryAgain", EAI_AGAIN, 0, 11002},
                                         NumberCase{"NoRecovery", EAI_FAIL, 0, 11003},
                                         NumberCase{"NoData", EAI_NODATA, 0, 11004},
                                         NumberCase{"SystemErrorKeepsErrno", EAI_SYSTEM, EACCES, EACCES},
                                         NumberCase{"SystemErrorWithoutErrno", EAI_SYSTEM, 0, EIO},
                                         NumberCase{"OtherIsItsMagnitude", EAI_MEMORY, 0, -EAI_MEMORY}),
                         [](const testing::TestParamInfo<NumberCase>& info) { return std::string(info.param.name); });

struct HintCase {
    const char* name;
    const char* executable;
    const char* expectedCommand;
};

void PrintTo(const HintCase& row, std::ostream* out)
{
    *out << row.name;
}

class PermissionHint : public testing::TestWithParam<HintCase> {};

TEST_P(PermissionHint, NamesTheCommandThatGrantsIt)
{
    const std::string hint =
        CapturePermissionHint(GetParam().executable, "/src/q/build/bin", "/src/q/scripts/grant-capture");
    EXPECT_EQ(hint, std::string("抓包需要 CAP_NET_RAW 权限，请运行：") + GetParam().expectedCommand);
    EXPECT_EQ(hint.find('\n'), std::string::npos) << "one line";
}

INSTANTIATE_TEST_SUITE_P(Programs, PermissionHint,
                         testing::Values(HintCase{"BuildTreeUsesTheScript", "/src/q/build/bin/quorvel",
                                                  "/src/q/scripts/grant-capture /src/q/build/bin/quorvel"},
                                         HintCase{"InstalledUsesSetcap", "/usr/bin/quorvel",
                                                  "sudo setcap cap_net_raw+ep /usr/bin/quorvel"},
                                         HintCase{"BelowTheBuildTreeIsNotTheBuildTree", "/src/q/build/bin/sub/quorvel",
                                                  "sudo setcap cap_net_raw+ep /src/q/build/bin/sub/quorvel"},
                                         HintCase{"PathWithSpacesIsQuoted", "/opt/my apps/quorvel",
                                                  "sudo setcap cap_net_raw+ep '/opt/my apps/quorvel'"},
                                         HintCase{"QuoteInPathIsEscaped", "/opt/it's/quorvel",
                                                  "sudo setcap cap_net_raw+ep '/opt/it'\\''s/quorvel'"}),
                         [](const testing::TestParamInfo<HintCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::capture
