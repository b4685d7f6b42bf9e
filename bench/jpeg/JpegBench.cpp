// Writes a 1920 × 1080 frame as a JPEG file at quality 50 with WriteJpegFile and, in the same
// run, lets `cjpeg -quality 50` compress the same picture from a PPM file; prints both times
// and their ratio (goal: at most 1.1 × cjpeg). cjpeg's time includes starting the process and
// reading the PPM, so the start-up of a do-nothing command is printed beside it.
// Usage: bench_jpeg [runs] (default 9). Best of the runs each.

#include "capture/JpegWriter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double TimeCommand(const std::string& command) {
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const auto elapsed = Clock::now() - start;
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return Seconds(elapsed);
}

// A camera-like picture: smooth colour gradients, a few hard-edged shapes and sensor noise.
CaptureFrame TestPicture(int width, int height) {
    CaptureFrame frame = CaptureFrame::Blank(width, height);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        uint8_t* row =
            frame.pixels.data() + static_cast<std::size_t>(height - 1 - y) * frame.stride();
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28) - 8;
            int r = 255 * x / width;
            int g = 255 * y / height;
            int b = static_cast<int>(128 + 100 * std::sin(x * 0.01) * std::cos(y * 0.013));
            if ((x / 240 + y / 180) % 5 == 0) {
                r = 230;
                g = 40;
                b = 30;
            }
            row[3 * x + 0] = static_cast<uint8_t>(std::clamp(b + noise, 0, 255));
            row[3 * x + 1] = static_cast<uint8_t>(std::clamp(g + noise, 0, 255));
            row[3 * x + 2] = static_cast<uint8_t>(std::clamp(r + noise, 0, 255));
        }
    }
    return frame;
}

void WritePpm(const std::filesystem::path& path, const CaptureFrame& frame) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << frame.width() << ' ' << frame.height() << "\n255\n";
    std::string row(3 * static_cast<std::size_t>(frame.width()), '\0');
    for (int y = 0; y < frame.height(); ++y) {
        const uint8_t* in =
            frame.pixels.data() + static_cast<std::size_t>(frame.height() - 1 - y) * frame.stride();
        for (int x = 0; x < frame.width(); ++x) {
            row[3 * x + 0] = static_cast<char>(in[3 * x + 2]);
            row[3 * x + 1] = static_cast<char>(in[3 * x + 1]);
            row[3 * x + 2] = static_cast<char>(in[3 * x + 0]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
}

} // namespace

int main(int argc, char** argv) {
    const int runs = std::max(1, argc > 1 ? std::atoi(argv[1]) : 9);
    const CaptureFrame frame = TestPicture(1920, 1080);

    const auto folder =
        std::filesystem::temp_directory_path() / ("km_bench_jpeg_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto ppm = folder / "input.ppm";
    const auto ours = folder / "ours.jpg";
    const auto peer = folder / "peer.jpg";
    WritePpm(ppm, frame);

    double oursBest = 1e9, peerBest = 1e9, spawnBest = 1e9;
    const std::string peerCommand =
        "cjpeg -quality 50 -outfile '" + peer.string() + "' '" + ppm.string() + "'";
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!WriteJpegFile(ours.string(), frame, 50)) {
            std::fprintf(stderr, "WriteJpegFile failed\n");
            return 1;
        }
        oursBest = std::min(oursBest, Seconds(Clock::now() - start));

        const double peerTime = TimeCommand(peerCommand);
        if (peerTime < 0) {
            std::fprintf(stderr, "cjpeg failed (libjpeg-turbo-progs installed?)\n");
            return 1;
        }
        peerBest = std::min(peerBest, peerTime);
        spawnBest = std::min(spawnBest, TimeCommand("true"));
    }

    std::printf("picture            1920 x 1080, quality 50, best of %d\n", runs);
    std::printf("WriteJpegFile      %8.2f ms  %8ju bytes\n", oursBest * 1e3,
                static_cast<uintmax_t>(std::filesystem::file_size(ours)));
    std::printf("cjpeg -quality 50  %8.2f ms  %8ju bytes (process start alone %.2f ms)\n",
                peerBest * 1e3, static_cast<uintmax_t>(std::filesystem::file_size(peer)),
                spawnBest * 1e3);
    std::printf("ratio ours/cjpeg   %8.2f (goal <= 1.10)\n", oursBest / peerBest);
    std::ifstream a(ours, std::ios::binary), b(peer, std::ios::binary);
    const std::string oursBytes{std::istreambuf_iterator<char>(a), {}};
    const std::string peerBytes{std::istreambuf_iterator<char>(b), {}};
    std::printf("same bytes as cjpeg: %s\n", oursBytes == peerBytes ? "yes" : "no");
    std::filesystem::remove_all(folder);
    return 0;
}
