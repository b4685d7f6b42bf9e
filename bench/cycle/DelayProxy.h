#pragma once
// A TCP proxy on a free loopback port in front of a local server, which holds every byte for a
// fixed time in each direction: a mail provider at a distance, for the network benchmark. It
// counts what crosses it:
//
// - round trips: a burst from the client that follows bytes from the server (the greeting
//   answered by USER is the first), i.e. the times a client had to wait for the server;
// - bytes each way, and connections.
//
// Only data is delayed: the TCP handshake is not, so a real connection costs one round trip
// more before its greeting than one through this proxy. Bandwidth is not limited.

#include <chrono>
#include <mutex>
#include <thread>

class DelayProxy {
public:
    struct Counts {
        long roundTrips = 0;
        long long bytesToClient = 0;
        long long bytesToServer = 0;
        int connections = 0;
    };

    // Listens on 127.0.0.1 and forwards every connection to 127.0.0.1:targetPort, each byte
    // oneWay later than it arrived. Throws std::runtime_error when it cannot listen.
    DelayProxy(int targetPort, std::chrono::milliseconds oneWay);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    int port() const { return m_port; }
    // The counts since the last call, which starts them again from zero.
    Counts Take();

private:
    struct Pair;
    void Run();

    int m_targetPort;
    std::chrono::milliseconds m_oneWay;
    int m_listen = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::mutex m_mutex;
    Counts m_counts;
    std::thread m_thread;
};
