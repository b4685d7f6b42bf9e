#pragma once
// The reversible cipher that keeps the POP3 password out of plain sight in setup.ini: RC4 keyed
// with the 16-byte MD5 digest of kPassPhrase. The plain text is the password in code page 932
// followed by its terminating zero byte; the stored form is every cipher byte as two upper-case
// hexadecimal digits. This is the form earlier versions stored, so their files still load.

#include "app/report/MessageSink.h"

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::string_view kPassPhrase = "Zq7LmR2xWvB9kTn4PsYc8HdJf3GaEu";

// Longest password (bytes of code page 932) whose stored form, 2 × (n + 1) digits, still fits
// the 1023 bytes a setting can hold when read back. Longer passwords are refused rather than
// stored in a form that would come back cut.
inline constexpr std::size_t kMaxPasswordBytes = 510;

// Password (UTF-8) → upper-case hexadecimal text. The empty text, with a message through sink,
// when the password is too long.
std::string EncipherPassword(std::string_view password, IMessageSink& sink);

// Hexadecimal text → password (UTF-8). An odd last character is ignored; "A" to "F" are the
// letter digits, lower-case letters do not decipher to their hexadecimal values. The password
// ends at the first zero byte.
std::string DecipherPassword(std::string_view hexText, IMessageSink& sink);

// The same cipher without setup.ini's length bound and without the code page, for secrets
// kept in files of their own (the OAuth refresh token, which runs to thousands of characters).
std::string EncipherSecret(std::string_view secret);
std::string DecipherSecret(std::string_view hexText);
