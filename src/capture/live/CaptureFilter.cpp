#include "capture/live/CaptureFilter.h"

#include <algorithm>
#include <set>
#include <utility>

namespace quorvel::capture {

namespace {

std::string Dotted(std::uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string Either(const std::vector<std::string>& terms)
{
    std::string text;
    for (const std::string& term : terms)
        text += (text.empty() ? "" : " or ") + term;
    return text;
}

// The ports of any host, and the learned endpoints whose port is not among them.
struct Terms {
    std::set<std::uint16_t> anyHost;
    std::set<std::pair<std::uint32_t, std::uint16_t>> hosts;
};

Terms TermsOf(std::span<const std::uint16_t> ports, std::span<const ServerEndpoint> learned)
{
    Terms terms{{ports.begin(), ports.end()}, {}};
    for (const ServerEndpoint& endpoint : learned)
        if (endpoint.address == ServerEndpoint::AnyHost)
            terms.anyHost.insert(endpoint.port);
    for (const ServerEndpoint& endpoint : learned)
        if (endpoint.address != ServerEndpoint::AnyHost && !terms.anyHost.contains(endpoint.port))
            terms.hosts.emplace(endpoint.address, endpoint.port);
    return terms;
}

} // namespace

std::string CaptureFilterFor(std::span<const std::uint16_t> ports, std::span<const ServerEndpoint> learned)
{
    const Terms terms = TermsOf(ports, learned);
    std::vector<std::string> either;
    for (const std::uint16_t port : terms.anyHost)
        either.push_back("port " + std::to_string(port));
    for (const auto& [address, port] : terms.hosts) {
        const std::string host = Dotted(address), number = std::to_string(port);
        either.push_back("(src host " + host + " and src port " + number + ")");
        either.push_back("(dst host " + host + " and dst port " + number + ")");
    }
    const std::string start = "((tcp[12:1] & 0xf0) >> 2)";
    const auto payload = [&](int at) { return "tcp[" + start + " + " + std::to_string(at) + ":1]"; };
    std::string command;
    for (int at = 0; at < 3; ++at)
        command += payload(at) + " >= 0x41 and " + payload(at) + " <= 0x5a and ";
    command += "(" + payload(3) + " = 0x20 or " + payload(3) + " = 0x0d) and tcp[" + start + ":4] != 0x47455420";
    either.push_back("(" + command + ")");
    return "ip and tcp and (" + Either(either) + ")";
}

namespace {

std::optional<std::vector<bpf_insn>> ProgramFor(int linkType, unsigned acceptLength, const Terms& terms)
{
    // Where the IPv4 header starts, and how the link layer says it is IPv4.
    std::uint32_t ip = 0;
    std::vector<bpf_insn> code;
    const auto op = [&](std::uint16_t opcode, std::uint32_t k) { code.push_back(BPF_STMT(opcode, k)); };
    const auto jump = [&](std::uint16_t opcode, std::uint32_t k, std::uint8_t jt, std::uint8_t jf) {
        code.push_back(BPF_JUMP(opcode, k, jt, jf));
    };
    const auto unless = [&](std::uint32_t value) { // equal: go on; otherwise reject
        jump(BPF_JMP | BPF_JEQ | BPF_K, value, 1, 0);
        op(BPF_RET | BPF_K, 0);
    };
    switch (linkType) {
    case DLT_EN10MB:
        ip = 14;
        op(BPF_LD | BPF_H | BPF_ABS, 12);
        unless(0x0800);
        break;
    case DLT_LINUX_SLL:
        ip = 16;
        op(BPF_LD | BPF_H | BPF_ABS, 14);
        unless(0x0800);
        break;
    case DLT_LINUX_SLL2:
        ip = 20;
        op(BPF_LD | BPF_H | BPF_ABS, 0);
        unless(0x0800);
        break;
    case DLT_RAW:
    case DLT_IPV4:
        op(BPF_LD | BPF_B | BPF_ABS, 0);
        op(BPF_ALU | BPF_AND | BPF_K, 0xF0);
        unless(0x40);
        break;
    default:
        return std::nullopt;
    }
    op(BPF_LD | BPF_B | BPF_ABS, ip + 9);
    unless(6);
    op(BPF_LD | BPF_H | BPF_ABS, ip + 6);
    jump(BPF_JMP | BPF_JSET | BPF_K, 0x1FFF, 0, 1); // a fragment: no ports to look at
    op(BPF_RET | BPF_K, 0);
    op(BPF_LDX | BPF_B | BPF_MSH, ip);

    // Each side: its port in A and M[0], its address in M[1]; a match accepts at once.
    for (const std::uint32_t side : {0u, 1u}) {
        op(BPF_LD | BPF_H | BPF_IND, ip + 2 * side);
        op(BPF_ST, 0);
        op(BPF_LD | BPF_W | BPF_ABS, ip + 12 + 4 * side);
        op(BPF_ST, 1);
        op(BPF_LD | BPF_MEM, 0);
        for (const std::uint16_t port : terms.anyHost) {
            jump(BPF_JMP | BPF_JEQ | BPF_K, port, 0, 1);
            op(BPF_RET | BPF_K, acceptLength);
        }
        for (const auto& [address, port] : terms.hosts) {
            jump(BPF_JMP | BPF_JEQ | BPF_K, port, 0, 4);
            op(BPF_LD | BPF_MEM, 1);
            jump(BPF_JMP | BPF_JEQ | BPF_K, address, 0, 1);
            op(BPF_RET | BPF_K, acceptLength);
            op(BPF_LD | BPF_MEM, 0);
        }
    }
    // A payload that begins as a command: its first four bytes, behind both headers (a read past the
    // end rejects). X still holds the IP header's length.
    op(BPF_LD | BPF_B | BPF_IND, ip + 12);
    op(BPF_ALU | BPF_AND | BPF_K, 0xF0);
    op(BPF_ALU | BPF_RSH | BPF_K, 2);
    op(BPF_ALU | BPF_ADD | BPF_X, 0);
    op(BPF_MISC | BPF_TAX, 0);
    op(BPF_LD | BPF_W | BPF_IND, ip);
    op(BPF_ST, 2);
    op(BPF_ALU | BPF_AND | BPF_K, 0xFF);
    jump(BPF_JMP | BPF_JEQ | BPF_K, 0x20, 2, 0);
    jump(BPF_JMP | BPF_JEQ | BPF_K, 0x0D, 1, 0);
    op(BPF_RET | BPF_K, 0);
    for (const std::uint32_t shift : {24u, 16u, 8u}) {
        op(BPF_LD | BPF_MEM, 2);
        op(BPF_ALU | BPF_RSH | BPF_K, shift);
        op(BPF_ALU | BPF_AND | BPF_K, 0xFF);
        jump(BPF_JMP | BPF_JGE | BPF_K, 0x41, 0, 1); // below 'A': reject
        jump(BPF_JMP | BPF_JGT | BPF_K, 0x5A, 0, 1); // above 'Z': reject
        op(BPF_RET | BPF_K, 0);
    }
    op(BPF_LD | BPF_MEM, 2);
    jump(BPF_JMP | BPF_JEQ | BPF_K, 0x47455420, 0, 1); // "GET "
    op(BPF_RET | BPF_K, 0);
    op(BPF_RET | BPF_K, acceptLength);
    if (code.size() > MaxFilterInstructions)
        return std::nullopt;
    return code;
}

} // namespace

std::optional<std::vector<bpf_insn>> CaptureProgramFor(int linkType, unsigned acceptLength,
                                                       std::span<const std::uint16_t> ports,
                                                       std::span<const ServerEndpoint> learned)
{
    Terms terms = TermsOf(ports, learned);
    if (auto code = ProgramFor(linkType, acceptLength, terms))
        return code;
    // Too long with the learned endpoints' addresses: by their ports alone, which passes more.
    for (const auto& [address, port] : terms.hosts)
        terms.anyHost.insert(port);
    terms.hosts.clear();
    return ProgramFor(linkType, acceptLength, terms);
}

std::string HandoutFilterFor(std::span<const std::uint16_t> ports)
{
    std::vector<std::string> sources;
    for (const std::uint16_t port : std::set<std::uint16_t>(ports.begin(), ports.end()))
        sources.push_back("src port " + std::to_string(port));
    if (sources.empty())
        sources.push_back("src port 1863");
    // The first four payload bytes: behind the TCP header, whose length in words is tcp[12]'s top nibble.
    const std::string head = "tcp[((tcp[12:1] & 0xf0) >> 2):4]";
    return "ip and tcp and (" + Either(sources) + ") and (" + head + " = 0x58465220 or " + head + " = 0x524e4720)";
}

} // namespace quorvel::capture
