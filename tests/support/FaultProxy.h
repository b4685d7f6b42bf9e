#pragma once
// A TCP proxy on a free loopback port in front of a real server (dovecot, aiosmtpd), for tests
// of what the program does when the network fails it. It forwards both ways until a fault is
// armed; the fault strikes after the client line that its trigger picks has been forwarded:
//
// - Cut: both connections are closed at once (the client sees the end of the stream without
//   a reply to its line; the server sees its client go).
// - StopAnswering: both connections stay open but nothing is forwarded any more in either
//   direction; the client waits for a reply that never comes.
//
//   FaultProxy proxy(dovecot.port());
//   proxy.Arm(FaultProxy::Action::Cut, FaultProxy::AtCommand("RETR"));
//   ... the client talks to 127.0.0.1:proxy.port() ...
//   proxy.Heal();                        // forwards everything again, for new connections
//
// Lines are counted per connection, 1-based, in the client-to-server direction; a trigger of
// line 0 strikes as soon as a connection is accepted (StopAnswering then withholds even the
// greeting).
//
// It also plays the attacker on the path who removes an offer of TLS from a clear-text
// dialogue, and keeps what the client sent, as such an attacker would read it:
//
//   proxy.ReplaceInReplies("STLS", "XXXX");   // CAPA no longer lists STLS
//   ... the client logs in through the proxy ...
//   EXPECT_EQ(proxy.ClientBytes().find("PASS"), std::string::npos);

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class FaultProxy {
public:
    enum class Action { Cut, StopAnswering };
    // Decides after every complete client line (its number on the connection, the line
    // without its line ending) whether the fault strikes now.
    using Trigger = std::function<bool(int lineNumber, const std::string& line)>;

    // The line with this number (0: at connect).
    static Trigger AfterLine(int lineNumber);
    // The occurrence-th line (1-based) that begins with prefix, compared without regard to
    // ASCII case ("RETR", "RCPT TO", "." for the end of data).
    static Trigger AtCommand(std::string prefix, int occurrence = 1);
    // The count-th line after the line that begins with prefix (count 1: the line right after
    // it), e.g. a line inside the data of a mail.
    static Trigger LinesAfter(std::string prefix, int count);

    // Listens on 127.0.0.1 and forwards every connection to 127.0.0.1:targetPort.
    explicit FaultProxy(int targetPort);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    int port() const { return m_port; }

    // The fault for connections from now on (and for open ones from their next line on).
    void Arm(Action action, Trigger trigger);
    // Forward everything; connections already silenced or cut stay so.
    void Heal();

    // From now on every copy of word in the server's bytes reaches the client as replacement
    // (of the same length, so that no reply changes its size). For clear-text dialogues: a word
    // cut between two reads is not found.
    void ReplaceInReplies(std::string word, std::string replacement);
    // Every byte the clients sent through the proxy so far, all connections in order.
    std::string ClientBytes() const;

    // How many times a fault struck, and at which client lines ("<connect>" for line 0).
    int Strikes() const;
    std::vector<std::string> StruckAt() const;
    // Connections accepted so far.
    int Connections() const { return m_connections.load(); }

private:
    struct Pair;
    void Run();
    void Accept(std::vector<Pair>& pairs);
    // Forwards from one side of pair to the other; false when the pair is finished.
    bool ForwardFromClient(Pair& pair);
    bool ForwardFromServer(Pair& pair);
    // Applies the armed fault to pair when it strikes after line; true when it struck.
    bool Strike(Pair& pair, int lineNumber, const std::string& line);

    int m_targetPort;
    int m_listen = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<int> m_connections{0};

    mutable std::mutex m_mutex;
    bool m_armed = false;
    Action m_action = Action::Cut;
    Trigger m_trigger;
    std::vector<std::string> m_struckAt;
    std::vector<std::pair<std::string, std::string>> m_replacements;
    std::string m_clientBytes;

    std::thread m_thread;
};
