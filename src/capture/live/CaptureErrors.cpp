#include "capture/live/CaptureErrors.h"

#include <netdb.h>
#include <pcap/pcap.h>

#include <cerrno>
#include <cstdlib>

namespace quorvel::capture {

int ActivateErrorNumber(int pcapStatus, int savedErrno)
{
    switch (pcapStatus) {
    case PCAP_ERROR_PERM_DENIED:
    case PCAP_ERROR_PROMISC_PERM_DENIED:
        return EPERM;
    case PCAP_ERROR_NO_SUCH_DEVICE:
        return ENODEV;
    case PCAP_ERROR_IFACE_NOT_UP:
        return ENETDOWN;
    case PCAP_ERROR_RFMON_NOTSUP:
    case PCAP_ERROR_TSTAMP_PRECISION_NOTSUP:
        return EOPNOTSUPP;
    case PCAP_ERROR_ACTIVATED:
        return EALREADY;
    default:
        return savedErrno > 0 ? savedErrno : EIO;
    }
}

int DispatchErrorNumber(std::string_view pcapErrorText, int savedErrno)
{
    // libpcap words a vanished or downed interface this way and keeps no errno for it.
    if (pcapErrorText.find("went down") != std::string_view::npos ||
        pcapErrorText.find("disappeared") != std::string_view::npos)
        return ENETDOWN;
    if (pcapErrorText.find("No such device") != std::string_view::npos)
        return ENODEV;
    return savedErrno > 0 ? savedErrno : EIO;
}

int HostLookupErrorNumber(int gaiError, int savedErrno)
{
    switch (gaiError) {
    case EAI_NONAME:
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_FAIL:
        return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return 11004;
#endif
    case EAI_SYSTEM:
        return savedErrno > 0 ? savedErrno : EIO;
    default:
        return std::abs(gaiError);
    }
}

namespace {

// Quoted for a shell only when it needs it.
std::string ShellWord(std::string_view word)
{
    if (!word.empty() && word.find_first_of(" \t'\"\\$`;&|<>()*?[]{}!#~") == std::string_view::npos)
        return std::string(word);
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

} // namespace

std::string CapturePermissionHint(std::string_view executablePath, std::string_view buildBinDir,
                                  std::string_view grantScript)
{
    std::string command;
    const auto slash = executablePath.rfind('/');
    const auto folder = slash == std::string_view::npos ? std::string_view{} : executablePath.substr(0, slash);
    if (!buildBinDir.empty() && !grantScript.empty() && folder == buildBinDir)
        command = ShellWord(grantScript) + " " + ShellWord(executablePath);
    else
        command = "sudo setcap cap_net_raw+ep " + ShellWord(executablePath);
    return "抓包需要 CAP_NET_RAW 权限，请运行：" + command;
}

} // namespace quorvel::capture
