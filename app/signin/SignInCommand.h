#pragma once
// `kestrovamail --sign-in [--device-code]`: the OAuth 2.0 sign-in from a terminal, on a box
// with a browser or without a screen at all (OAuthSignIn.h does the work).
//
// Without --device-code it prints the address to open (and hands it to xdg-open when a display
// is there), then takes whichever comes first: the browser's redirect to the loopback listener,
// or a line on standard input holding the address the browser ended at (pasted from a browser
// on another device). With --device-code it prints the code and the address to enter it at and
// polls until the user has approved. SIGINT and SIGTERM cancel at once.

#include <iosfwd>
#include <string>

namespace signincli {

// Exit statuses.
inline constexpr int kSignedIn = 0;
inline constexpr int kFailed = 1;         // refused, cancelled, no answer, the token not saved
inline constexpr int kSettingMissing = 2; // a setting to set first (named on err)

// Signs mail in with the settings in folder and saves the refresh token there. input: the
// descriptor pasted addresses are read from (-1: none).
int SignIn(const std::string& folder, bool deviceCode, int input, std::ostream& out,
           std::ostream& err);

} // namespace signincli
