#include "mail/net/ProtocolTrace.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace protocoltrace {
namespace {

// A line longer than this (a server that never ends one) is cut, with its length said.
constexpr std::size_t kLongestLine = 1000;

std::atomic<bool> g_enabled{false};

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}
Sink& CurrentSink() {
    static Sink sink;
    return sink;
}

std::string ByteCount(std::size_t bytes) {
    return " ... (" + std::to_string(bytes) + " bytes)";
}

// A server's bytes go to a terminal: control bytes must not act there.
void AppendEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        } else {
            out += c;
        }
    }
}

std::string ShownLine(std::string_view line) {
    std::string out;
    AppendEscaped(out, line.substr(0, kLongestLine));
    if (line.size() > kLongestLine)
        out += ByteCount(line.size());
    return out;
}

std::string TimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                            now.time_since_epoch()).count() % 1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(millis));
    return text;
}

void Emit(const std::string& record) {
    std::lock_guard lock(SinkMutex());
    if (const Sink& sink = CurrentSink()) {
        sink(record);
        return;
    }
    const std::string line = record + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr); // one write: records do not interleave
}

std::string Prefix(std::string_view protocol, std::string_view peer) {
    std::string prefix = TimeStamp();
    prefix += ' ';
    prefix += protocol.empty() ? std::string_view("mail") : protocol;
    prefix += ' ';
    prefix += peer;
    prefix += ' ';
    return prefix;
}

} // namespace

void Enable(bool on) {
    g_enabled.store(on, std::memory_order_relaxed);
}

bool Enabled() {
    return g_enabled.load(std::memory_order_relaxed);
}

void SetSink(Sink sink) {
    std::lock_guard lock(SinkMutex());
    CurrentSink() = std::move(sink);
}

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// How many bytes of secret match text at position at, in any letter case.
std::size_t MatchLength(std::string_view text, std::size_t at, std::string_view secret) {
    std::size_t length = 0;
    while (length < secret.size() && at + length < text.size() &&
           LowerAscii(text[at + length]) == LowerAscii(secret[length]))
        ++length;
    return length;
}

} // namespace

void MaskSecrets(std::string& text, const Secrets& secrets) {
    for (const std::string& secret : secrets) {
        if (secret.empty())
            continue;
        // A copy cut short counts from kShortestCut bytes on; a shorter secret only whole.
        const std::size_t shortest = std::min(secret.size(), kShortestCut);
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t length = MatchLength(text, at, secret);
            if (length >= shortest) {
                text.replace(at, length, "****");
                at += 4;
            } else {
                ++at;
            }
        }
    }
}

std::vector<std::string> Shape(std::string_view bytes, TraceShape shape, const Secrets& secrets) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = next;
        std::string masked;
        if (!secrets.empty()) {
            masked = line;
            MaskSecrets(masked, secrets);
            line = masked;
        }
        switch (shape.kind) {
        case TraceShape::Kind::Verbatim:
            lines.push_back(ShownLine(line));
            break;
        case TraceShape::Kind::Secret: {
            std::string shown;
            AppendEscaped(shown, line.substr(0, shape.visible));
            if (line.size() > shape.visible)
                shown += "****";
            lines.push_back(std::move(shown));
            break;
        }
        case TraceShape::Kind::Body:
            // A reply of one line (a refusal) has nothing to shorten.
            lines.push_back(start >= bytes.size() ? ShownLine(line)
                                                  : ShownLine(line.substr(0, kLongestLine)) +
                                                        ByteCount(bytes.size()));
            return lines;
        }
    }
    return lines;
}

void Write(std::string_view protocol, std::string_view peer, std::string_view direction,
           std::string_view bytes, TraceShape shape, const Secrets& secrets) {
    if (!Enabled())
        return;
    std::string prefix = Prefix(protocol, peer);
    prefix += direction;
    prefix += ' ';
    for (const std::string& line : Shape(bytes, shape, secrets))
        Emit(prefix + line);
}

void Note(std::string_view protocol, std::string_view peer, std::string_view event) {
    if (!Enabled())
        return;
    Emit(Prefix(protocol, peer) + "-- " + std::string(event));
}

} // namespace protocoltrace
