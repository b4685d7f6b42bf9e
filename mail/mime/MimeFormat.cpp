#include "mail/mime/MimeFormat.h"

#include "base/Clock.h"
#include "mail/mime/MailAddress.h"
#include "mail/text/AsciiCase.h"
#include "mail/text/ContentEncoders.h"
#include "mail/text/JisHeaderEncoder.h"
#include "mail/text/TextCodec.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <time.h>
#include <unistd.h>
#include <unordered_map>

namespace mime {
namespace {

constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr std::size_t kMaxLineLength = 998; // RFC 5322 2.1.1, without the CR LF
// ISO-2022-JP grows a Shift_JIS line to at most three times its length and two bytes (an
// escape pair around every lone double-byte character), so such lines are cut at this length.
constexpr std::size_t kJisSourceLine = (kMaxLineLength - 2) / 3;

// Every line break (CR LF, a lone CR or LF) as CR LF, and a break before a line would pass
// maxLine bytes, never between the two bytes of a Shift_JIS character.
std::string NormaliseLines(std::string_view t, std::size_t maxLine, bool sjis) {
    std::string out;
    out.reserve(t.size() + t.size() / 64 + 8);
    std::size_t lineLength = 0;
    for (std::size_t i = 0; i < t.size();) {
        const char c = t[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            lineLength = 0;
            i += (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ? 2 : 1;
            continue;
        }
        std::size_t width = 1;
        if (sjis && text::IsSjisLeadByte(static_cast<unsigned char>(c)) && i + 1 < t.size() &&
            t[i + 1] != '\r' && t[i + 1] != '\n')
            width = 2;
        if (lineLength + width > maxLine) {
            out += "\r\n";
            lineLength = 0;
        }
        out.append(t, i, width);
        lineLength += width;
        i += width;
    }
    return out;
}

// Content type by lower-case extension, as a mime.types file lists them: the first line
// that names an extension decides.
using ContentTypeTable = std::unordered_map<std::string, std::string>;

ContentTypeTable ReadContentTypes(const std::string& file) {
    ContentTypeTable table;
    std::ifstream lines(file);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string type, word;
        if (!(words >> type))
            continue;
        while (words >> word)
            table.emplace(ascii::Lower(word), type);
    }
    return table;
}

// Each table is read once per process: every reply looks its picture's type up, and the
// system's table does not change under a running program. A missing file stays empty.
const ContentTypeTable& TableOf(const std::string& file) {
    static std::mutex mutex;
    static std::map<std::string, ContentTypeTable> tables;
    std::lock_guard lock(mutex);
    auto found = tables.find(file);
    if (found == tables.end())
        found = tables.emplace(file, ReadContentTypes(file)).first;
    return found->second;
}

} // namespace

std::string FormatDateLine(const std::tm& local, long biasMinutes) {
    const long absBias = biasMinutes < 0 ? -biasMinutes : biasMinutes;
    // UTC itself is "+0000": RFC 5322 3.3 keeps "-0000" for a time whose zone is unknown.
    const char sign = biasMinutes <= 0 ? '+' : '-';
    const std::string weekday(EnglishWeekday(local.tm_wday));
    char line[96];
    std::snprintf(line, sizeof line, "Date: %3s, %d %3s %4d %02d:%02d:%02d %c%02ld%02ld",
                  weekday.c_str(), local.tm_mday, kMonthNames[std::clamp(local.tm_mon, 0, 11)],
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, sign,
                  absBias / 60, absBias % 60);
    return line;
}

std::string FormatDateLine() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // tm_gmtoff is seconds east of UTC; the bias counts the other way.
    return FormatDateLine(local, -local.tm_gmtoff / 60);
}

std::string MakeBoundary() {
    timespec up{};
    clock_gettime(CLOCK_BOOTTIME, &up);
    const auto ms = static_cast<unsigned>(static_cast<unsigned long long>(up.tv_sec) * 1000u +
                                          static_cast<unsigned long long>(up.tv_nsec) / 1000000u);
    static thread_local std::mt19937 random{std::random_device{}()};
    const unsigned tail = static_cast<unsigned>(random() % 1000u);
    char boundary[64];
    std::snprintf(boundary, sizeof boundary, "------=_Next_Part_%.10u.%.3u", ms, tail);
    return boundary;
}

std::string LookupContentType(std::string_view path, const std::string& mimeTypesFile) {
    const std::string fallback = "application/octet-stream";
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return fallback;
    const ContentTypeTable& table = TableOf(mimeTypesFile);
    const auto found = table.find(ascii::Lower(name.substr(dot + 1)));
    return found == table.end() ? fallback : found->second;
}

std::string MakeMessageId(std::string_view senderAddress) {
    static std::atomic<unsigned> count{0};
    thread_local std::mt19937_64 random{[] {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }()};

    std::string domain(mailbox::DomainOf(senderAddress));
    if (!mailbox::IsPlainAddress("id@" + domain)) {
        char host[256] = {};
        domain = ::gethostname(host, sizeof host - 1) == 0 ? host : "";
        if (!mailbox::IsPlainAddress("id@" + domain))
            domain = "localhost.localdomain";
    }
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char id[64];
    std::snprintf(id, sizeof id, "%04d%02d%02d%02d%02d%02d.%016llx.%u", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<unsigned long long>(random()), ++count);
    return "<" + std::string(id) + "@" + domain + ">";
}

TextBody EncodeTextBody(std::string_view bytes, std::string_view charset, bool eightBit) {
    const bool sjis = ascii::Lower(charset) == "shift_jis";
    const bool ascii =
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    if (eightBit || ascii)
        return {std::string(charset), eightBit ? "8bit" : "7bit",
                NormaliseLines(bytes, kMaxLineLength, sjis)};
    if (sjis) {
        if (auto jis =
                CJisHeaderEncoder::EncodeMailText(NormaliseLines(bytes, kJisSourceLine, true)))
            return {"ISO-2022-JP", "7bit", std::move(*jis)};
    }
    std::string lines = encoders::EncodeBase64Block(NormaliseLines(bytes, kMaxLineLength, sjis));
    if (lines.size() >= 2 && lines.compare(lines.size() - 2, 2, "\r\n") == 0)
        lines.resize(lines.size() - 2);
    return {std::string(charset), "base64", std::move(lines)};
}

std::string DotStuff(std::string_view lines) {
    std::string out;
    out.reserve(lines.size() + 8);
    bool lineStart = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const char c = lines[i];
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n' && i > 0 && lines[i - 1] == '\r';
    }
    return out;
}

std::string StripLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '\n')
            out += c;
    }
    return out;
}

bool IsSafeAddress(std::string_view address) {
    return address.find_first_of(std::string_view("\r\n\0<>", 5)) == std::string_view::npos;
}

std::string FileNameOfPath(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string QuotedParameterText(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c == '\r' || c == '\n')
            continue;
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace mime
