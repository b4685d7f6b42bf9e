#pragma once
// Small helpers shared by the SMTP tests.

#include "mail/mime/MimeStream.h"
#include "mail/text/ContentEncoders.h"
#include "mail/text/JisHeaderEncoder.h"
#include "mail/text/TextCodec.h"

#include <filesystem>
#include <random>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

using Script = std::vector<std::string>;

// The steps of a, then those of b.
inline Script Join(Script a, const Script& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A short header text as the reply sender encodes it: one ISO-2022-JP B word.
inline std::string EncodedWord(const std::string& utf8) {
    return encoders::EncodeHeaderWordB(
        CJisHeaderEncoder::EncodeMailText(text::Utf8ToSjis(utf8)).value_or("?"), "ISO-2022-JP");
}

// Collects a streamed message in memory.
class StringStream final : public CMimeStream {
public:
    bool WriteAll(std::string_view bytes) override {
        m_bytes.append(bytes);
        ++m_writes;
        return true;
    }
    const std::string& bytes() const { return m_bytes; }
    int writes() const { return m_writes; }

private:
    std::string m_bytes;
    int m_writes = 0;
};

// Splits at CR LF; a final CR LF gives no empty last element.
inline std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t crlf; (crlf = text.find("\r\n", start)) != std::string::npos; start = crlf + 2)
        lines.push_back(text.substr(start, crlf - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// Reference base64 (RFC 4648 alphabet, '=' fill), independent of the program's encoder.
inline std::string Base64(std::string_view bytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
    }
    return out;
}

inline std::string LocalHostName() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

// Bytes that look like a JPEG file to a content sniffer, with every byte value in them.
inline std::string JpegLikeBytes(std::size_t size, unsigned seed = 7) {
    std::string bytes = "\xFF\xD8\xFF\xE0";
    std::mt19937 random(seed);
    while (bytes.size() < size)
        bytes += static_cast<char>(random() & 0xFF);
    bytes.resize(size);
    return bytes;
}

// Counts how often a file is opened from now on (inotify), so a test can see whether a
// client read a file once or once per mail.
class OpenCounter {
public:
    explicit OpenCounter(const std::filesystem::path& file)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (m_fd >= 0)
            ::inotify_add_watch(m_fd, file.c_str(), IN_OPEN);
    }
    ~OpenCounter() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    // Openings since the last call (events are queued when the file is opened).
    int Opens() {
        int opens = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; m_fd >= 0 && (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                opens += (event->mask & IN_OPEN) ? 1 : 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opens;
    }

private:
    int m_fd;
};
