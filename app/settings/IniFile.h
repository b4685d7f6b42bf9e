#pragma once
// INI files with the behaviour of the Windows private-profile functions, which is what
// setup.ini and device.ini were always written with:
// - a missing file, section or key reads as the default;
// - writing creates the file, the section and the key as needed and replaces a value in place;
// - a key can be deleted;
// - section and key names match without regard to the case of ASCII letters;
// - spaces and tabs around names and values are not part of them;
// - the file is code page 932 on disk, UTF-8 through this interface;
// - a text value read is at most 1023 bytes of code page 932, cut before a split character.
//
// Files written by hand: a file that is valid UTF-8 and not valid code page 932 (as a Linux
// editor saves it), or valid UTF-8 after a UTF-8 byte order mark, is read as UTF-8 and written
// back in code page 932. When some line of it holds a character code page 932 lacks, the file
// stays UTF-8 instead (with a byte order mark, so that it is always read as UTF-8 again).
// A value written unchanged (equal to what is read from the key now) leaves its line as it
// stands, so a value that cannot be read whole (cut, or holding bytes its encoding does not
// allow) is never rewritten in its damaged form; KeptWhole tells such values.
// Lines that are neither a section header nor "key=value" (comments, stray text) are kept as
// they are, and every line keeps its own line ending. New lines end in CR LF; a new section is
// appended at the end of the file after an empty line.
//
// Unlike the profile functions, each save replaces the whole file atomically (temporary file in
// the same folder, fsync, rename), so a crash leaves either the old or the new file. Values are
// never unquoted, and a CR or LF inside a value is written as a space so that a value can never
// start a line of its own. A file that exists but cannot be read is never overwritten.

#include "base/AtomicFile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IniFile {
public:
    // Longest text value read, in bytes of code page 932 (the 1024-byte profile buffer).
    static constexpr std::size_t kMaxValueBytes = 1023;

    explicit IniFile(std::string path) : m_path(std::move(path)) {}

    const std::string& path() const { return m_path; }

    // Reads the file. A missing file is an empty file (true). False when the file exists but
    // cannot be read; then Save refuses to replace it.
    bool Load();

    // The value of key in section (UTF-8, cut to kMaxValueBytes), or nothing when missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Leading spaces, an optional sign and decimal digits; a missing or empty value gives
    // defaultValue, a value without digits gives 0, a value beyond the 32-bit range is clamped.
    int32_t ReadInt(std::string_view section, std::string_view key, int32_t defaultValue) const;
    // The same for an unsigned value (colours): a negative number wraps as the profile
    // functions' unsigned result does, a value above 4294967295 is clamped.
    uint32_t ReadUInt32(std::string_view section, std::string_view key,
                        uint32_t defaultValue) const;

    // Sets key in section to value (UTF-8), creating the section and the key as needed.
    void Write(std::string_view section, std::string_view key, std::string_view value);
    // Removes every line of key in section; false (and no change) when it is not there.
    bool Delete(std::string_view section, std::string_view key);
    // Whether the file has the section (with or without keys).
    bool HasSection(std::string_view section) const;
    // Removes the section: its header and every line up to the next one (blank lines and
    // comments in it too); false when it is not there.
    bool DeleteSection(std::string_view section);

    // Writes the file atomically (base/AtomicFile.h). False when it could not be written (the
    // old file stays).
    bool Save() const;
    // The file holds passwords: a save never leaves it readable by the group or others.
    void SetOwnerOnly() { m_ownerOnly = true; }
    // The system's error number of the last failed Load or Save (a Save refused after a failed
    // Load keeps the Load's); 0 when it worked.
    int lastError() const { return m_error; }

    // The file's bytes as Save would write them (code page 932).
    std::string Serialize() const;
    // Replaces the contents with the given file bytes (code page 932, or UTF-8 as above).
    void Parse(std::string_view bytes);
    // True when the file was read as UTF-8.
    bool readAsUtf8() const { return m_utf8; }
    // False when the key's value as read is not all the line holds (cut, or bytes that its
    // encoding does not allow), or when it holds characters code page 932 lacks. True for a
    // missing key.
    bool KeptWhole(std::string_view section, std::string_view key) const;

    // Points at which a save can be interrupted; tests fail a save there through the hook.
    using SaveStep = ReplaceStep;
    // Called at each step; returning false makes the save fail there. Empty = no hook.
    static void SetSaveFaultHookForTesting(std::function<bool(SaveStep)> hook);

private:
    struct Line {
        std::string text; // the line's bytes without its ending (code page 932)
        std::string eol;  // "\r\n", "\n", "\r" or "" for a last line without ending
    };

    std::optional<std::string> FindRaw(std::string_view section, std::string_view key) const;
    std::optional<std::size_t> FindSection(std::string_view sjisSection) const;
    std::optional<std::size_t> FindKey(std::size_t sectionLine, std::string_view sjisKey) const;
    std::size_t SectionEnd(std::size_t sectionLine) const;
    // Between the program's UTF-8 and the file's bytes.
    std::string Encode(std::string_view utf8) const;
    std::string Decode(std::string_view bytes) const;
    // A value as it is written: up to a NUL byte, line breaks as spaces, in the file's bytes.
    std::string EncodeValue(std::string_view utf8) const;
    std::string EncodeName(std::string_view utf8) const;
    // The file's bytes of a value as read: cut to kMaxValueBytes of code page 932.
    std::string_view CutValue(std::string_view bytes) const;

    std::string m_path;
    std::vector<Line> m_lines;
    bool m_loadFailed = false;
    mutable int m_error = 0;
    bool m_ownerOnly = false;
    bool m_utf8 = false; // lines hold UTF-8 (else code page 932)
};

// The profile functions one key at a time (each write loads, changes and saves the file).
namespace profile {

std::string ReadString(std::string_view section, std::string_view key,
                       std::string_view defaultValue, const std::string& path);
int32_t ReadInt(std::string_view section, std::string_view key, int32_t defaultValue,
                const std::string& path);
bool WriteString(std::string_view section, std::string_view key, std::string_view value,
                 const std::string& path);
bool DeleteKey(std::string_view section, std::string_view key, const std::string& path);

} // namespace profile
