#pragma once
// One header field as the MIME composer writes it: tokens joined by blanks and folded (CR LF and
// a blank, RFC 5322 2.2.3) before a token that would carry the line past 76 characters, and
// texts that cannot go as they are written as RFC 2047 encoded words of at most 75 characters,
// split between characters, so that however long a name or subject is, every line stays
// within the limits (RFC 2047 section 2: 76 characters a line with encoded words; RFC 5322
// 2.1.1: 998 at most).
//
//   mime::HeaderField from("From");
//   from.AddJapaneseText("監視カメラ", mime::TextRole::Phrase);
//   from.AddToken("<camera@example.com>");
//   block += from.Text();   // "From: =?ISO-2022-JP?B?...?= <camera@example.com>\r\n"

#include <cstddef>
#include <string>
#include <string_view>

namespace mime {

// Where a text stands: the unstructured text of a Subject, or the phrase of a display name
// (RFC 5322 3.2.5), where a plain name holding specials is quoted and a Q word may hold only
// the characters RFC 2047 5(3) allows.
enum class TextRole { Unstructured, Phrase };

class HeaderField {
public:
    static constexpr std::size_t kFoldWidth = 76;
    static constexpr std::size_t kMaxWordLength = 75;
    static constexpr std::size_t kMaxLineLength = 998;

    explicit HeaderField(std::string_view name);

    // A token that is never split (an address, a list separator joined to it); a blank, or a
    // fold when it does not fit, goes before it.
    void AddToken(std::string_view token);
    // Appends to the last token without a blank (the "," of a list).
    void AppendToLast(std::string_view text);
    // Bytes in charset: as they are when they are printable ASCII that reads the same
    // unencoded (a phrase with specials quoted), else as encoded words: B, or Q when fewer
    // than 17 % of the bytes are extended (and, in a phrase, Q has no character it may not
    // hold). "shift_jis" and "utf-8" texts are split between their characters.
    void AddText(std::string_view bytes, std::string_view charset, TextRole role);
    // UTF-8 text as Japanese mail readers show it best: ISO-2022-JP B words (RFC 1468) where
    // JIS X 0208 holds every character, else UTF-8 words.
    void AddJapaneseText(std::string_view utf8, TextRole role);

    // "Name: ..." with its line end; the folds inside are CR LF and a blank.
    std::string Text() const { return m_text + "\r\n"; }
    bool IsEmpty() const { return !m_hasToken; }
    // True when no line passes 998 characters (only a token longer than a line can do that).
    bool FitsLineLimit() const { return m_longestLine <= kMaxLineLength; }

private:
    enum class Kind { SingleByte, ShiftJis, Utf8, Jis };

    bool TryPlain(std::string_view bytes, TextRole role);
    void AddEncoded(std::string_view bytes, Kind kind, std::string_view charset, TextRole role);
    void Put(std::string_view token);
    void Fold();

    std::string m_text;
    std::size_t m_lineLength = 0;
    std::size_t m_longestLine = 0;
    bool m_hasToken = false;
    bool m_lineHasToken = false;
    bool m_freshLine = false; // right after a fold: nothing on the line yet
};

} // namespace mime
