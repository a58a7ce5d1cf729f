#pragma once
// The friendly names a notification connection gives the user's contacts, so that a group message
// (SDG, which names its sender by account only) is logged and spoken under the name the sender chose.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvel::capture {

// An account as contacts know it: without the network prefix ("1:") and without what follows a
// semicolon (";{machine-guid}", ";epid={...}", ";path=IM").
std::string_view BareAccount(std::string_view field);

class FriendlyNames {
public:
    // Names and accounts together; the oldest names go first beyond it.
    static constexpr std::size_t MaxBytes = 64 * 1024;

    // One whole command sent by the server (line and payload). ILN, NLN, IRO, JOI and UBX
    // (<FriendlyName>) leave the name they carry; anything else is ignored.
    void note(std::string_view command);
    // The last name noted for the account (compared without regard to case), as written on the wire.
    const std::string* find(std::string_view account) const;

    std::size_t heldBytes() const { return m_bytes; }
    std::size_t size() const { return m_names.size(); }

private:
    void keep(std::string_view account, std::string_view name);

    std::unordered_map<std::string, std::string> m_names; // lower-case account -> name
    std::deque<std::string> m_order;                      // accounts, oldest noted first
    std::size_t m_bytes = 0;
};

} // namespace quorvel::capture
