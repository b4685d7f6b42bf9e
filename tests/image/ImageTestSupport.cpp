#include "tests/image/ImageTestSupport.h"

#include <QGuiApplication>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <jpeglib.h>
#include <memory>

std::size_t PixelOffset(const CaptureFrame& frame, int x, int y) {
    const int memoryRow = frame.height() - 1 - y;
    return static_cast<std::size_t>(memoryRow) * frame.stride() + 3 * static_cast<std::size_t>(x);
}

Bgr PixelAt(const CaptureFrame& frame, int x, int y) {
    const uint8_t* p = &frame.pixels[PixelOffset(frame, x, y)];
    return Bgr{p[0], p[1], p[2]};
}

void SetPixel(CaptureFrame& frame, int x, int y, Bgr color) {
    uint8_t* p = &frame.pixels[PixelOffset(frame, x, y)];
    p[0] = color.b;
    p[1] = color.g;
    p[2] = color.r;
}

void Fill(CaptureFrame& frame, Bgr color) {
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            SetPixel(frame, x, y, color);
}

void FillNoise(CaptureFrame& frame, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& byte : frame.pixels) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
}

namespace {

struct DecodeError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void DecodeErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<DecodeError*>(cinfo->err)->jump, 1);
}

bool DecodeInto(jpeg_decompress_struct& cinfo, DecodeError& error, const std::string& bytes,
                DecodedJpeg& out) {
    if (setjmp(error.jump))
        return false;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &out.rgb[static_cast<std::size_t>(cinfo.output_scanline) * out.width * 3];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

DecodedJpeg DecodeJpeg(const std::string& bytes) {
    DecodedJpeg out;
    jpeg_decompress_struct cinfo{};
    DecodeError error{};
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = DecodeErrorExit;
    jpeg_create_decompress(&cinfo);
    out.ok = DecodeInto(cinfo, error, bytes, out);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

DecodedJpeg DecodeJpegFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    return DecodeJpeg(std::string(std::istreambuf_iterator<char>(file), {}));
}

::testing::AssertionResult IsJpegOfSize(const std::string& path, int width, int height) {
    const DecodedJpeg jpeg = DecodeJpegFile(path);
    if (!jpeg.ok)
        return ::testing::AssertionFailure() << path << " is no readable JPEG file";
    if (jpeg.width != width || jpeg.height != height)
        return ::testing::AssertionFailure() << path << " is " << jpeg.width << "x" << jpeg.height;
    return ::testing::AssertionSuccess();
}

std::tm MakeTime(int year, int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{year}, std::chrono::month{unsigned(month)},
                              std::chrono::day{unsigned(day)}};
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_wday = static_cast<int>(weekday{sys_days{date}}.c_encoding());
    return t;
}

void EnsureGuiApplication() {
    if (QGuiApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_image";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}
