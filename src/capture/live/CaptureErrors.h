#pragma once
// The texts and error numbers the capture reports: libpcap and resolver results mapped onto the
// system error numbers the user is shown. Pure.

#include "capture/CaptureReports.h"

#include <string>
#include <string_view>

namespace quorvel::capture {

// pcap_activate's status (an error, < 0) as an errno value; savedErrno is errno right after the call.
int ActivateErrorNumber(int pcapStatus, int savedErrno);

// A failed pcap_dispatch (PCAP_ERROR) as an errno value, from libpcap's error text.
int DispatchErrorNumber(std::string_view pcapErrorText, int savedErrno);

// getaddrinfo's EAI_* result as the number shown after "Socket Error # ": the resolver's classic
// numbers (11001 host not found, 11002 try again, 11003 no recovery, 11004 no data), errno for
// EAI_SYSTEM, otherwise the magnitude of the code.
int HostLookupErrorNumber(int gaiError, int savedErrno);

// The one line that tells the user how to grant the capture permission to this executable. A program
// that runs from the build tree (its folder is buildBinDir) is pointed at the grant script.
std::string CapturePermissionHint(std::string_view executablePath, std::string_view buildBinDir,
                                  std::string_view grantScript);

} // namespace quorvel::capture
