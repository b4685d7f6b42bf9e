#include "mail/MimeFormat.h"

#include "mail/ContentEncoders.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <time.h>

namespace mime {
namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Share of extended bytes (percent) from which a header text becomes a B word instead of Q.
constexpr std::size_t kBase64Percent = 17;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

std::string FormatDateLine(const std::tm& local, long biasMinutes) {
    const long absBias = biasMinutes < 0 ? -biasMinutes : biasMinutes;
    const char sign = biasMinutes < 0 ? '+' : '-';
    char line[96];
    std::snprintf(line, sizeof line, "Date: %3s, %d %3s %4d %02d:%02d:%02d %c%02ld%02ld",
                  kDayNames[std::clamp(local.tm_wday, 0, 6)], local.tm_mday,
                  kMonthNames[std::clamp(local.tm_mon, 0, 11)], local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec, sign, absBias / 60, absBias % 60);
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
    const std::string extension = Lower(name.substr(dot + 1));

    std::ifstream table(mimeTypesFile);
    std::string line;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string type, word;
        if (!(words >> type))
            continue;
        while (words >> word) {
            if (Lower(word) == extension)
                return type;
        }
    }
    return fallback;
}

std::string EncodeHeaderText(std::string_view bytes, const std::string& charset) {
    const std::size_t extended = encoders::CountExtendedBytes(bytes);
    if (extended == 0)
        return std::string(bytes);
    if (extended * 100 / bytes.size() >= kBase64Percent)
        return encoders::EncodeHeaderWordB(bytes, charset);
    return encoders::EncodeHeaderWordQ(bytes, charset);
}

std::string EncodeDisplayName(std::string_view bytes, const std::string& charset,
                              bool alwaysQuote) {
    if (encoders::CountExtendedBytes(bytes) == 0) {
        if (!alwaysQuote && bytes.find_first_of("()<>[]:;@\\,\"") == std::string_view::npos)
            return std::string(bytes);
        std::string quoted = "\"";
        for (char c : bytes) {
            if (c == '\\' || c == '"')
                quoted += '\\';
            quoted += c;
        }
        return quoted + '"';
    }
    std::string word = EncodeHeaderText(bytes, charset);
    const std::string qPrefix = "=?" + charset + "?Q?";
    if (word.rfind(qPrefix, 0) == 0) {
        const std::string_view text(word.data() + qPrefix.size(), word.size() - qPrefix.size() - 2);
        const bool phraseSafe = std::all_of(text.begin(), text.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) ||
                   std::string_view("!*+-/=_").find(c) != std::string_view::npos;
        });
        if (!phraseSafe)
            word = encoders::EncodeHeaderWordB(bytes, charset);
    }
    return word;
}

std::string FoldRecipientList(std::string_view list) {
    std::string out;
    out.reserve(list.size() + list.size() / 8);
    for (std::size_t i = 0; i < list.size(); ++i) {
        out += list[i];
        if (list[i] == ',') {
            out += "\r\n\t";
            if (i + 1 < list.size() && list[i + 1] == ' ')
                ++i;
        }
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
