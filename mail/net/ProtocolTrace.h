#pragma once
// The protocol transcript (--trace): every line a mail connection sends ("C:") or receives
// ("S:"), each with a time stamp, the protocol and the peer, plus a line when a connection
// stands and when TLS is up. One process-wide switch; off, nothing is formatted. Secrets
// (passwords, their base64 forms, digests, tokens) never reach it: a client marks the lines
// that carry one, and the connection layer masks them here, together with every copy of a
// log-in's secrets in the server's lines (a server that repeats what it was sent). Lines go to
// standard error unless a sink is set (tests capture them).

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// How the transcript shows bytes that are sent or received. The connection layer writes the
// transcript; a client only says which of its lines carry a secret or a message's data.
struct TraceShape {
    enum class Kind {
        Verbatim, // every line as it is
        Secret,   // each line shown up to `visible` bytes, the rest masked
        Body,     // a message's data: its first line and the byte count
    };
    Kind kind = Kind::Verbatim;
    std::size_t visible = 0;

    static TraceShape SecretAfter(std::size_t visibleBytes) { return {Kind::Secret, visibleBytes}; }
    static TraceShape MessageBody() { return {Kind::Body, 0}; }
};

namespace protocoltrace {

// Receives each finished transcript line, without a line end.
using Sink = std::function<void(std::string_view line)>;

void Enable(bool on);
bool Enabled(); // cheap: callers test it before building anything
// Where lines go; an empty sink restores standard error.
void SetSink(Sink sink);

// What a log-in sent that nobody may read back: the password, the token, the exact base64
// response, a digest.
using Secrets = std::vector<std::string>;

// Replaces every copy of a secret in text by "****": whole, in any ASCII letter case, and cut
// short (a run of at least kShortestCut of its first characters, as a server shows a line it
// shortened). Empty secrets are passed over. For the words of a server that go into an error
// text or the transcript, never for bytes a parser still reads.
void MaskSecrets(std::string& text, const Secrets& secrets);
inline constexpr std::size_t kShortestCut = 8;

// bytes as the transcript shows them under shape: one entry per line, line ends dropped,
// control bytes written as \xNN, secrets masked ("PASS ****", and any copy of secrets), a body
// shortened to its first line and the byte count.
std::vector<std::string> Shape(std::string_view bytes, TraceShape shape,
                               const Secrets& secrets = {});

// Writes one record per shaped line: "<time> <protocol> <peer> <direction> <line>".
void Write(std::string_view protocol, std::string_view peer, std::string_view direction,
           std::string_view bytes, TraceShape shape = {}, const Secrets& secrets = {});
// Writes one event line ("connected to ::1 port 995", "TLS up: TLSv1.3 ...").
void Note(std::string_view protocol, std::string_view peer, std::string_view event);

} // namespace protocoltrace
