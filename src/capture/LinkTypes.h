#pragma once
// The link types a captured frame may come with, by the numbers libpcap gives them on Linux (DLT_*),
// for the builds that have no libpcap: the Windows edition and its capture-file reader.

namespace quorvel::capture::dlt {

inline constexpr int Null = 0;
inline constexpr int En10Mb = 1;
inline constexpr int Raw = 12;
inline constexpr int Ieee80211 = 105;
inline constexpr int Loop = 108;
inline constexpr int LinuxSll = 113;
inline constexpr int Ipv4 = 228;
inline constexpr int LinuxSll2 = 276;

} // namespace quorvel::capture::dlt
