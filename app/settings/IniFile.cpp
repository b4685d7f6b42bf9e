#include "app/settings/IniFile.h"

#include "base/FileDescriptor.h"
#include "base/PrivateFile.h"
#include "mail/text/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool IsBlankLine(std::string_view line) {
    return Trim(line).empty();
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Names match like the profile functions match them: ASCII letters without regard to case,
// double-byte characters exactly (their second byte may look like a letter).
bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (text::IsSjisLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// "[name]" with optional blanks around; the name of a section header, or nothing.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (line[i] == ']')
            return Trim(line.substr(1, i - 1));
        if (text::IsSjisLeadByte(static_cast<unsigned char>(line[i])))
            ++i; // a trail byte may be ']'
    }
    return std::nullopt;
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

// "key=value"; comments (";" first) and lines without a key are not key lines.
std::optional<KeyValue> ParseKeyLine(std::string_view line) {
    std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[')
        return std::nullopt;
    std::size_t eq = trimmed.find('='); // '=' is never a trail byte
    if (eq == std::string_view::npos)
        return std::nullopt;
    std::string_view key = Trim(trimmed.substr(0, eq));
    if (key.empty())
        return std::nullopt;
    return KeyValue{key, Trim(trimmed.substr(eq + 1))};
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// UTF-8 with more than ASCII in it. Text in code page 932 is practically never valid UTF-8
// (its common lead and trail bytes break UTF-8's rules at once), while short Japanese UTF-8
// text often happens to be valid code page 932: such a file is taken for UTF-8.
bool LooksUtf8(std::string_view bytes) {
    return text::IsUtf8(bytes) &&
           std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
}

// True when the UTF-8 text has a code page 932 form that reads back as the same text.
bool FitsCodePage932(std::string_view utf8) {
    return text::SjisToUtf8(text::Utf8ToSjis(utf8)) == utf8;
}

std::size_t Utf8Length(unsigned char b) {
    return b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
}

// Leading blanks, optional sign, decimal digits. Empty text: nothing; no digits: 0.
std::optional<int64_t> ParseNumber(std::string_view value) {
    value = Trim(value);
    if (value.empty())
        return std::nullopt;
    bool negative = false;
    if (value.front() == '+' || value.front() == '-') {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    int64_t result = 0;
    constexpr int64_t kLimit = int64_t{1} << 40; // far beyond 32 bits; clamped by the callers
    for (char c : value) {
        if (c < '0' || c > '9')
            break;
        result = std::min(kLimit, result * 10 + (c - '0'));
    }
    return negative ? -result : result;
}

} // namespace

void IniFile::SetSaveFaultHookForTesting(std::function<bool(SaveStep)> hook) {
    SetReplaceFaultHookForTesting(std::move(hook));
}

bool IniFile::Load() {
    m_lines.clear();
    m_loadFailed = false;
    m_error = 0;
    const FileDescriptor fd = OpenForReading(m_path);
    if (!fd) {
        m_loadFailed = errno != ENOENT;
        m_error = m_loadFailed ? errno : 0;
        return !m_loadFailed;
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_loadFailed = true;
            m_error = errno; // EISDIR: a folder in the file's place
            return false;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    Parse(bytes);
    return true;
}

void IniFile::Parse(std::string_view bytes) {
    m_lines.clear();
    const bool marked = bytes.starts_with(kUtf8Mark);
    m_utf8 = marked ? text::IsUtf8(bytes) : LooksUtf8(bytes);
    if (m_utf8 && marked)
        bytes.remove_prefix(kUtf8Mark.size());
    while (!bytes.empty()) {
        std::size_t end = bytes.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            m_lines.push_back({std::string(bytes), ""});
            break;
        }
        std::size_t eolLength =
            (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
        m_lines.push_back(
            {std::string(bytes.substr(0, end)), std::string(bytes.substr(end, eolLength))});
        bytes.remove_prefix(end + eolLength);
    }
}

std::string IniFile::Serialize() const {
    std::string bytes;
    for (const Line& line : m_lines) {
        bytes += line.text;
        bytes += line.eol;
    }
    // A code page 932 text whose bytes all happen to form UTF-8 (half-width katakana such as
    // "ﾃｨ" are the bytes of "è") would be read as UTF-8 next time: it goes marked as UTF-8.
    if (!m_utf8)
        return LooksUtf8(bytes) ? std::string(kUtf8Mark) + text::SjisToUtf8(bytes) : bytes;
    // A UTF-8 file goes back in code page 932 when every line fits it (and the result is not
    // taken for UTF-8 again); else it stays UTF-8, marked so that it is read as UTF-8 again.
    if (std::all_of(m_lines.begin(), m_lines.end(),
                    [](const Line& line) { return FitsCodePage932(line.text); })) {
        std::string sjis = text::Utf8ToSjis(bytes);
        if (!LooksUtf8(sjis))
            return sjis;
    }
    return std::string(kUtf8Mark) + bytes;
}

std::string IniFile::Encode(std::string_view utf8) const {
    if (!m_utf8)
        return text::Utf8ToSjis(utf8);
    // A stray byte that is not UTF-8 would make the whole file read as code page 932 later.
    if (text::IsUtf8(utf8))
        return std::string(utf8);
    return text::CharsetToUtf8(utf8, "UTF-8").value_or(std::string());
}

std::string IniFile::Decode(std::string_view bytes) const {
    return m_utf8 ? std::string(bytes) : text::SjisToUtf8(bytes);
}

std::string IniFile::EncodeValue(std::string_view utf8) const {
    // A value written must stay on its own line and end where a C string would.
    std::string bytes = Encode(utf8.substr(0, utf8.find('\0')));
    std::replace_if(
        bytes.begin(), bytes.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return bytes;
}

std::string IniFile::EncodeName(std::string_view utf8) const {
    return std::string(Trim(EncodeValue(utf8)));
}

std::string_view IniFile::CutValue(std::string_view bytes) const {
    if (!m_utf8)
        return text::CutSjis(bytes, kMaxValueBytes);
    // The same cut as in the code page 932 form, so that the file converted reads the same.
    std::size_t sjisBytes = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t length =
            std::min(Utf8Length(static_cast<unsigned char>(bytes[pos])), bytes.size() - pos);
        const std::size_t characterBytes =
            std::max<std::size_t>(1, text::Utf8ToSjis(bytes.substr(pos, length)).size());
        if (sjisBytes + characterBytes > kMaxValueBytes)
            break;
        sjisBytes += characterBytes;
        pos += length;
    }
    return bytes.substr(0, pos);
}

std::optional<std::size_t> IniFile::FindSection(std::string_view sjisSection) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        std::optional<std::string_view> name = SectionName(m_lines[i].text);
        if (name && NamesEqual(*name, sjisSection))
            return i;
    }
    return std::nullopt;
}

std::size_t IniFile::SectionEnd(std::size_t sectionLine) const {
    for (std::size_t i = sectionLine + 1; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i].text))
            return i;
    }
    return m_lines.size();
}

std::optional<std::size_t> IniFile::FindKey(std::size_t sectionLine,
                                            std::string_view sjisKey) const {
    std::size_t end = SectionEnd(sectionLine);
    for (std::size_t i = sectionLine + 1; i < end; ++i) {
        std::optional<KeyValue> kv = ParseKeyLine(m_lines[i].text);
        if (kv && NamesEqual(kv->key, sjisKey))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::FindRaw(std::string_view section, std::string_view key) const {
    std::optional<std::size_t> sectionLine = FindSection(EncodeName(section));
    if (!sectionLine)
        return std::nullopt;
    std::optional<std::size_t> keyLine = FindKey(*sectionLine, EncodeName(key));
    if (!keyLine)
        return std::nullopt;
    return std::string(ParseKeyLine(m_lines[*keyLine].text)->value);
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
    std::optional<std::string> raw = FindRaw(section, key);
    if (!raw)
        return std::nullopt;
    // A value is a C text, as the profile functions return it and as Write stores it: a NUL
    // byte in the file ends it, and blanks before the NUL end the value as at a line end.
    const std::string_view value = Trim(std::string_view(*raw).substr(0, raw->find('\0')));
    return Decode(CutValue(value));
}

bool IniFile::KeptWhole(std::string_view section, std::string_view key) const {
    const std::optional<std::string> raw = FindRaw(section, key);
    if (!raw)
        return true;
    const std::string value = *Find(section, key);
    return Encode(value) == *raw && FitsCodePage932(value);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    std::optional<std::string> value = Find(section, key);
    return value ? *value : std::string(defaultValue);
}

int32_t IniFile::ReadInt(std::string_view section, std::string_view key,
                         int32_t defaultValue) const {
    std::optional<std::string> raw = FindRaw(section, key);
    std::optional<int64_t> number = raw ? ParseNumber(*raw) : std::nullopt;
    if (!number)
        return defaultValue;
    return static_cast<int32_t>(std::clamp<int64_t>(*number, INT32_MIN, INT32_MAX));
}

uint32_t IniFile::ReadUInt32(std::string_view section, std::string_view key,
                             uint32_t defaultValue) const {
    std::optional<std::string> raw = FindRaw(section, key);
    std::optional<int64_t> number = raw ? ParseNumber(*raw) : std::nullopt;
    if (!number)
        return defaultValue;
    return static_cast<uint32_t>(std::clamp<int64_t>(*number, INT32_MIN, UINT32_MAX));
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    // The value the key holds already: its line stays as it stands, whole even where the
    // value read from it is not.
    if (const std::optional<std::string> now = Find(section, key); now && *now == value)
        return;
    std::string sjisSection = EncodeName(section);
    std::string sjisKey = EncodeName(key);
    std::string line = sjisKey + "=" + EncodeValue(value);

    std::optional<std::size_t> sectionLine = FindSection(sjisSection);
    if (!sectionLine) {
        if (!m_lines.empty()) {
            if (m_lines.back().eol.empty())
                m_lines.back().eol = "\r\n";
            if (!IsBlankLine(m_lines.back().text))
                m_lines.push_back({"", "\r\n"});
        }
        m_lines.push_back({"[" + sjisSection + "]", "\r\n"});
        m_lines.push_back({std::move(line), "\r\n"});
        return;
    }
    if (std::optional<std::size_t> keyLine = FindKey(*sectionLine, sjisKey)) {
        // Keep the key as the file spells it; only the value changes.
        std::string_view existing = ParseKeyLine(m_lines[*keyLine].text)->key;
        m_lines[*keyLine].text = std::string(existing) + "=" + EncodeValue(value);
        return;
    }
    // A new key goes after the section's last line that is not blank.
    std::size_t at = SectionEnd(*sectionLine);
    while (at > *sectionLine + 1 && IsBlankLine(m_lines[at - 1].text))
        --at;
    if (m_lines[at - 1].eol.empty())
        m_lines[at - 1].eol = "\r\n";
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), {std::move(line), "\r\n"});
}

bool IniFile::Delete(std::string_view section, std::string_view key) {
    std::optional<std::size_t> sectionLine = FindSection(EncodeName(section));
    if (!sectionLine)
        return false;
    std::string sjisKey = EncodeName(key);
    bool deleted = false;
    while (std::optional<std::size_t> keyLine = FindKey(*sectionLine, sjisKey)) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(*keyLine));
        deleted = true;
    }
    return deleted;
}

bool IniFile::HasSection(std::string_view section) const {
    return FindSection(EncodeName(section)).has_value();
}

bool IniFile::DeleteSection(std::string_view section) {
    const std::optional<std::size_t> sectionLine = FindSection(EncodeName(section));
    if (!sectionLine)
        return false;
    const std::size_t end = SectionEnd(*sectionLine);
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(*sectionLine),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(end));
    return true;
}

bool IniFile::Save() const {
    if (m_loadFailed)
        return false; // never replace a file whose contents we could not see (m_error stays)
    return ReplaceFileContents(m_path, Serialize(), &m_error, {.ownerOnly = m_ownerOnly});
}

namespace profile {

std::string ReadString(std::string_view section, std::string_view key,
                       std::string_view defaultValue, const std::string& path) {
    IniFile file(path);
    file.Load();
    return file.ReadString(section, key, defaultValue);
}

int32_t ReadInt(std::string_view section, std::string_view key, int32_t defaultValue,
                const std::string& path) {
    IniFile file(path);
    file.Load();
    return file.ReadInt(section, key, defaultValue);
}

bool WriteString(std::string_view section, std::string_view key, std::string_view value,
                 const std::string& path) {
    IniFile file(path);
    if (!file.Load())
        return false;
    file.Write(section, key, value);
    return file.Save();
}

bool DeleteKey(std::string_view section, std::string_view key, const std::string& path) {
    IniFile file(path);
    if (!file.Load())
        return false;
    // Like the profile functions, deleting what is not there leaves the file (or its absence).
    return !file.Delete(section, key) || file.Save();
}

} // namespace profile
