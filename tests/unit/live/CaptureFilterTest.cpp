// The kernel filters as the kernel runs them, applied to built datagrams: the program written for the
// server endpoints against libpcap's own compilation of the same expression, and the handout watch.

#include "DatagramBuilder.h"
#include "capture/live/CaptureFilter.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

using testing::BuildDatagram;
using testing::Segment;

constexpr std::uint32_t Server = 0xC0000202, Client = 0xC0000201, Other = 0xC6336407;

// A program compiled by libpcap, or one given: its length, and whether it passes a frame.
class Program {
public:
    explicit Program(const std::string& text, int linkType = DLT_RAW) : m_dead(pcap_open_dead(linkType, 65535))
    {
        m_ok = pcap_compile(m_dead, &m_program, text.c_str(), 1, PCAP_NETMASK_UNKNOWN) == 0;
        m_compiled = m_ok;
    }
    explicit Program(std::vector<bpf_insn> code) : m_dead(pcap_open_dead(DLT_RAW, 65535)), m_code(std::move(code))
    {
        m_program.bf_len = static_cast<unsigned>(m_code.size());
        m_program.bf_insns = m_code.data();
        m_ok = bpf_validate(m_code.data(), static_cast<int>(m_code.size())) != 0;
    }
    ~Program()
    {
        if (m_compiled)
            pcap_freecode(&m_program);
        pcap_close(m_dead);
    }
    bool ok() const { return m_ok; }
    unsigned length() const { return m_program.bf_len; }
    bool passes(const std::vector<std::uint8_t>& datagram) const
    {
        pcap_pkthdr header{};
        header.caplen = header.len = static_cast<bpf_u_int32>(datagram.size());
        return pcap_offline_filter(&m_program, &header, datagram.data()) != 0;
    }

private:
    pcap_t* m_dead;
    std::vector<bpf_insn> m_code;
    bpf_program m_program{};
    bool m_ok = false;
    bool m_compiled = false;
};

std::vector<std::uint8_t> Tcp(std::uint32_t from, std::uint16_t fromPort, std::uint32_t to, std::uint16_t toPort,
                              std::string payload = {}, std::size_t tcpOptions = 0)
{
    Segment segment;
    segment.sourceAddress = from, segment.sourcePort = fromPort;
    segment.destinationAddress = to, segment.destinationPort = toPort;
    segment.payload = std::move(payload);
    segment.tcpOptionBytes = tcpOptions;
    return BuildDatagram(segment);
}

const std::vector<std::uint16_t> Ports{1863, 1864};
const std::vector<ServerEndpoint> Learned{{Server, 40123}, {ServerEndpoint::AnyHost, 2000}, {Other, 1863}};

// Link-layer headers of the link types the program is written for.
struct Link {
    const char* name;
    int type;
    std::vector<std::uint8_t> header;
};
const std::vector<Link> Links = {
    {"Ethernet", DLT_EN10MB, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x00}},
    {"LinuxSll", DLT_LINUX_SLL, {0, 0, 0, 1, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0, 0x08, 0x00}},
    {"LinuxSll2", DLT_LINUX_SLL2, {0x08, 0x00, 0, 0, 0, 0, 0, 1, 0, 1, 4, 6, 1, 2, 3, 4, 5, 6, 0, 0}},
    {"Raw", DLT_RAW, {}},
};

std::vector<std::vector<std::uint8_t>> Datagrams()
{
    std::vector<std::vector<std::uint8_t>> datagrams{
        Tcp(Server, 1863, Client, 50000), Tcp(Client, 50000, Other, 1864, "x"), Tcp(Server, 40123, Client, 50001),
        Tcp(Client, 50001, Server, 40123), Tcp(Other, 2000, Client, 50002), Tcp(Client, 2000, Other, 7),
        Tcp(Other, 40123, Client, 50003),  // that port of another host
        Tcp(Server, 50003, Other, 40123),  // the endpoint's address and port on different sides
        Tcp(Server, 443, Client, 50004), Tcp(Other, 1863, Server, 9), Tcp(Server, 1864, Client, 1, "", 12),
    };
    Segment withOptions;
    withOptions.ipOptionBytes = 8, withOptions.sourcePort = 5000, withOptions.destinationPort = 1864;
    datagrams.push_back(BuildDatagram(withOptions));
    Segment udp;
    udp.protocol = 17;
    datagrams.push_back(BuildDatagram(udp));
    auto fragment = Tcp(Server, 1863, Client, 50000, "later part");
    fragment[7] = 0x10; // fragment offset 16
    datagrams.push_back(fragment);
    auto ipv6 = Tcp(Server, 1863, Client, 50000);
    ipv6[0] = 0x60;
    datagrams.push_back(ipv6);
    // Payloads on ports that are no endpoint: a command passes, anything else does not.
    for (const char* payload : {"USR 1 me@example.com 3291\r\n", "OUT\r\n", "MSG 2 N 90\r\n", "GET / HTTP/1.1\r\n",
                                "usr 1\r\n", "XFRX", "USR", "A\x00\x00\x00\x00", "1234 ", "U@R ", "U[R "})
        datagrams.push_back(Tcp(Client, 50000, Other, 7000, payload, 8));
    return datagrams;
}

TEST(CaptureFilter, WrittenProgramPassesWhatLibpcapsCompilationPasses)
{
    const std::vector<bool> expected{true,  true,  true,  true,  true,  true,  false, false, false, true,
                                     true,  true,  false, false, false, true,  true,  true,  false, false,
                                     false, false, false, false, false, false};
    for (const Link& link : Links) {
        SCOPED_TRACE(link.name);
        const Program compiled(CaptureFilterFor(Ports, Learned), link.type);
        const auto code = CaptureProgramFor(link.type, 65535, Ports, Learned);
        ASSERT_TRUE(compiled.ok() && code);
        const Program written(*code);
        ASSERT_TRUE(written.ok());
        const auto datagrams = Datagrams();
        ASSERT_EQ(datagrams.size(), expected.size());
        for (std::size_t i = 0; i < datagrams.size(); ++i) {
            std::vector<std::uint8_t> frame = link.header;
            frame.insert(frame.end(), datagrams[i].begin(), datagrams[i].end());
            EXPECT_EQ(compiled.passes(frame), expected[i]) << "datagram " << i;
            EXPECT_EQ(written.passes(frame), expected[i]) << "datagram " << i;
        }
    }
    EXPECT_FALSE(CaptureProgramFor(DLT_IEEE802_11, 65535, Ports, Learned));
}

TEST(CaptureFilter, TheWholeBoundFitsTheKernel)
{
    std::vector<ServerEndpoint> learned;
    for (std::uint32_t i = 0; i < MaxLearnedEndpoints; ++i)
        learned.push_back({0x0A000000 + i, static_cast<std::uint16_t>(20000 + i)});
    const auto code = CaptureProgramFor(DLT_EN10MB, 65535, Ports, learned);
    ASSERT_TRUE(code);
    const Program written(*code);
    ASSERT_TRUE(written.ok());
    EXPECT_LE(written.length(), MaxFilterInstructions);
    const std::vector<std::uint8_t> ethernet(Links[0].header);
    const auto frame = [&](std::vector<std::uint8_t> datagram) {
        datagram.insert(datagram.begin(), ethernet.begin(), ethernet.end());
        return datagram;
    };
    for (const ServerEndpoint& endpoint : learned)
        EXPECT_TRUE(written.passes(frame(Tcp(endpoint.address, endpoint.port, Client, 50000)))) << endpoint.port;
    EXPECT_FALSE(written.passes(frame(Tcp(Server, 20001, Client, 50000))));
}

TEST(HandoutFilter, OnlyTheServersXfrAndRng)
{
    const std::vector<std::uint16_t> ports{1863, 1864};
    const Program watch(HandoutFilterFor(ports));
    ASSERT_TRUE(watch.ok());
    EXPECT_TRUE(watch.passes(Tcp(Server, 1863, Client, 50000, "XFR 8 SB 192.0.2.2:40123 CKI 3291\r\n")));
    EXPECT_TRUE(watch.passes(Tcp(Server, 1864, Client, 50000, "RNG 11 192.0.2.2:40123 CKI 8f3a a@b A\r\n", 12)));
    EXPECT_FALSE(watch.passes(Tcp(Client, 50000, Server, 1863, "XFR 8 SB\r\n")));
    EXPECT_FALSE(watch.passes(Tcp(Server, 1863, Client, 50000, "MSG a@b A 10\r\n")));
    EXPECT_FALSE(watch.passes(Tcp(Server, 1863, Client, 50000, "XFRX")));
    EXPECT_FALSE(watch.passes(Tcp(Server, 1863, Client, 50000)));
    EXPECT_FALSE(watch.passes(Tcp(Server, 40123, Client, 50000, "XFR 8 SB 192.0.2.2:40124 CKI 1\r\n")));
}

} // namespace
} // namespace quorvel::capture
