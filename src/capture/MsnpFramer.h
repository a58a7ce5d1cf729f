#pragma once
// Splits one direction's byte stream into messenger commands: a line ending in CR LF, and for the
// payload commands as many bytes as the line's last parameter says.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::capture {

inline constexpr std::size_t MaxCommandLine = 8 * 1024;
inline constexpr std::size_t MaxPayload = 64 * 1024;

// A command the stream may carry ("MSG", "USR", "911", ...), and whether it is followed by a payload
// whose length is its last parameter.
bool IsKnownCommand(std::string_view name);
bool IsPayloadCommand(std::string_view name);

class MsnpFramer {
public:
    // One whole command: its line with the line break, then its payload. A reference to any callable,
    // so that framing each segment allocates nothing.
    class CommandSink {
    public:
        template <typename F>
        CommandSink(F& callable) // NOLINT: implicit on purpose, like a function reference
            : m_callable(&callable), m_call([](void* c, std::string_view command) { (*static_cast<F*>(c))(command); })
        {
        }
        void operator()(std::string_view command) const { m_call(m_callable, command); }

    private:
        void* m_callable;
        void (*m_call)(void*, std::string_view);
    };

    // Lines that do not start with a known command are skipped, and so are lines over MaxCommandLine
    // and commands declaring more than MaxPayload: decoding picks up at the next known command.
    void feed(std::span<const std::uint8_t> bytes, const CommandSink& sink);
    // Drops a half-read command (bytes were lost); the next line is read afresh.
    void reset();

    std::size_t bufferedBytes() const { return m_buffer.size(); }
    std::uint64_t skippedLines() const { return m_skippedLines; }

private:
    std::size_t frame(std::string_view bytes, const CommandSink& sink);

    std::string m_buffer;        // the start of a command that is not complete yet
    bool m_skipLine = false;     // inside an overlong line: drop bytes up to its end
    std::uint64_t m_skippedLines = 0;
};

} // namespace quorvel::capture
