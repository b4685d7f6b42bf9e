// Encodes a large buffer with our base64 encoder and, in the same run, lets coreutils
// `base64 -w 76` encode the same bytes from a file; prints both times and their ratio.
// Usage: bench_base64 [MiB] (default 64). Best of five runs each, runs alternating.
//
// The ratio uses CPU time (user + system): this machine is shared, and wall time swings with
// the load of others while CPU time does not. Wall times are printed beside it.

#include "mail/text/ContentEncoders.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double cpu = 1e9;
    double wall = 1e9;
    void Keep(double c, double w) {
        cpu = std::min(cpu, c);
        wall = std::min(wall, w);
    }
};

std::string RandomBytes(std::size_t n) {
    std::string bytes(n, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (char& c : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        c = static_cast<char>(state >> 56);
    }
    return bytes;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

template <typename F> void Measure(Timing& timing, F&& work) {
    const double cpu = ProcessCpuSeconds();
    const auto start = Clock::now();
    work();
    timing.Keep(ProcessCpuSeconds() - cpu, Seconds(Clock::now() - start));
}

// Runs `base64 -w 76 input` with its output going to outputPath; false when it failed.
bool RunPeer(const std::string& input, const std::string& outputPath, Timing& timing) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string program = "base64", wrap = "-w", width = "76", file = input;
    char* argv[] = {program.data(), wrap.data(), width.data(), file.data(), nullptr};
    const double cpu = ChildrenCpuSeconds();
    const auto start = Clock::now();
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, "base64", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    timing.Keep(ChildrenCpuSeconds() - cpu, Seconds(Clock::now() - start));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::size_t size = std::max<std::size_t>(mebibytes, 1) << 20;
    const std::string bytes = RandomBytes(size);

    const auto folder =
        std::filesystem::temp_directory_path() / ("km_bench_base64_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto input = folder / "input.bin";
    const auto peerOutput = folder / "peer.b64";
    std::ofstream(input, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));

    // Three forms of ours:
    //  - whole: EncodeBase64Block, which allocates its result (88 MiB of fresh pages) per call;
    //  - presized: EncodeBase64To into an output buffer sized beforehand;
    //  - blocks: 5700-byte blocks (100 lines) into one reused buffer, the way the composer sends
    //    an attachment, and the way the peer works (a buffer at a time, written out).
    // The peer reads the file from the page cache and writes to /dev/null.
    const auto* source = reinterpret_cast<const unsigned char*>(bytes.data());
    std::string encoded;
    std::string presized(encoders::Base64EncodedLength(size, 0), '\0');
    std::string block(encoders::Base64EncodedLength(5700, 0), '\0');
    Timing whole, presizedTime, blocks, peer;
    std::size_t written = 0, blockChars = 0;
    for (int run = 0; run < 5; ++run) {
        Measure(whole, [&] { encoded = encoders::EncodeBase64Block(bytes); });
        Measure(presizedTime,
                [&] { written = encoders::EncodeBase64To(source, size, 0, presized.data()); });
        Measure(blocks, [&] {
            blockChars = 0;
            for (std::size_t at = 0; at < size; at += 5700) {
                const std::size_t n = std::min<std::size_t>(5700, size - at);
                blockChars += encoders::EncodeBase64To(source + at, n, 0, block.data());
            }
        });
        if (!RunPeer(input.string(), "/dev/null", peer)) {
            std::fprintf(stderr, "base64 failed\n");
            std::filesystem::remove_all(folder);
            return 1;
        }
    }

    // Same work: the peer's text equals ours with LF for CRLF and a final line feed.
    Timing unused;
    bool same = RunPeer(input.string(), peerOutput.string(), unused);
    if (same) {
        std::ifstream in(peerOutput, std::ios::binary);
        const std::string expected{std::istreambuf_iterator<char>(in), {}};
        std::string normalized;
        normalized.reserve(encoded.size());
        for (char c : encoded)
            if (c != '\r')
                normalized.push_back(c);
        if (!normalized.empty() && normalized.back() != '\n')
            normalized.push_back('\n');
        same = normalized == expected && presized == encoded && written == encoded.size() &&
               blockChars == encoded.size();
    }
    std::filesystem::remove_all(folder);

    const double mib = static_cast<double>(size) / (1 << 20);
    std::printf("base64 of %zu MiB, line break every 76 characters, best of 5\n", size >> 20);
    std::printf("  %-34s %9s %9s %12s %10s\n", "", "cpu ms", "wall ms", "MiB/s (cpu)", "peer/ours");
    auto line = [&](const char* name, const Timing& t) {
        std::printf("  %-34s %9.1f %9.1f %12.1f %10.2f\n", name, t.cpu * 1e3, t.wall * 1e3,
                    mib / t.cpu, peer.cpu / t.cpu);
    };
    line("EncodeBase64Block (allocates)", whole);
    line("EncodeBase64To, presized buffer", presizedTime);
    line("EncodeBase64To, 5700-byte blocks", blocks);
    line("coreutils base64 -w 76 >/dev/null", peer);
    std::printf("  output identical to coreutils: %s (%zu characters)\n", same ? "yes" : "NO",
                encoded.size());
    const bool faster = presizedTime.cpu < peer.cpu && blocks.cpu < peer.cpu;
    std::printf("  encoder %s than coreutils\n", faster ? "faster" : "SLOWER");
    return same && faster ? 0 : 1;
}
