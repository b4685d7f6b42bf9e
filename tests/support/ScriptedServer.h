#pragma once
// A one-connection-at-a-time TCP server on 127.0.0.1 that plays a script, for byte-exact
// protocol dialogues and for faults a real server will not produce.
//
// Script steps:
//   "S: text"   send text followed by CR LF
//   "R: bytes"  send bytes exactly as given (no CR LF added)
//   "C: text"   read one line from the client and record it; a mismatch with text is noted
//               ("C: *" accepts any line)
//   "DATA"      read lines up to and including a line "." and record them in data()
//   "SLEEP ms"  pause
//   "CLOSE"     close the connection at once
//   "SILENT"    keep the connection open, read nothing, until the client closes it
//   "NEXT"      close this connection and accept the next one
// Every wait is bounded (30 s), so a broken client cannot hang a test.

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::string> script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t port() const { return m_port; }

    // Waits until the script has finished (or failed) and returns the client lines read by
    // "C:" steps, without their CR LF.
    std::vector<std::string> Received();
    // Lines read by "DATA" steps (without CR LF, the final "." included).
    std::vector<std::string> Data();
    // Empty when every "C:" line matched, else a description of the first mismatch.
    std::string Mismatch();
    // Number of connections accepted so far.
    int Connections();

private:
    void Run();
    void Finish();

    std::vector<std::string> m_script;
    int m_listenFd = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_received;
    std::vector<std::string> m_data;
    std::string m_mismatch;
    int m_connections = 0;
};
