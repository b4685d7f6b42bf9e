#include "capture/JpegWriter.h"

#include "base/PrivateFile.h"
#include "capture/JpegErrors.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo with the JCS_EXT_* colour spaces is required"
#endif

namespace {

struct FreeBytes {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
};
using MallocBytes = std::unique_ptr<unsigned char, FreeBytes>;

// The most a JPEG of the frame can take, whatever the sampling (TurboJPEG's bound for 4:4:4:
// six bytes for every pixel of the picture padded to whole blocks, and the headers).
std::size_t MostBytes(const CaptureFrame& frame) {
    const auto pad = [](int side) { return (static_cast<std::size_t>(side) + 15) & ~std::size_t{15}; };
    return pad(frame.width()) * pad(frame.height()) * 6 + 2048;
}

// The compressor and the memory destination it writes into. The destination is ours from the
// start and large enough for any JPEG of the frame, so the library never replaces it with one
// of its own: whatever way the encoding ends, the one buffer is freed here.
struct Compressor {
    jpeg_compress_struct cinfo{};
    JpegErrorManager error{};
    bool created = false;
    MallocBytes buffer;
    unsigned char* out = nullptr; // what the library reports as its buffer
    unsigned long outSize = 0;

    Compressor() {
        cinfo.err = error.Install();
        jpeg_create_compress(&cinfo);
        created = true;
    }
    ~Compressor() {
        if (created)
            jpeg_destroy_compress(&cinfo);
        if (out && out != buffer.get())
            std::free(out); // a buffer the library grew after all
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

// The rows go to the encoder straight from the frame: the library reads blue-first pixels
// itself (JCS_EXT_BGR), so neither a copy of the picture nor a scratch row is needed.
bool CompressInto(Compressor& c, const CaptureFrame& frame, int quality) {
    if (setjmp(c.error.jump))
        return false;

    jpeg_mem_dest(&c.cinfo, &c.out, &c.outSize);
    c.cinfo.image_width = static_cast<JDIMENSION>(frame.width());
    c.cinfo.image_height = static_cast<JDIMENSION>(frame.height());
    c.cinfo.input_components = 3;
    c.cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c.cinfo);
    jpeg_set_quality(&c.cinfo, quality, FALSE);
    jpeg_start_compress(&c.cinfo, TRUE);

    const std::size_t stride = static_cast<std::size_t>(frame.stride());
    const std::size_t height = static_cast<std::size_t>(frame.height());
    // The picture's top row is the last row in memory.
    while (c.cinfo.next_scanline < c.cinfo.image_height) {
        const std::size_t memoryRow = height - 1 - c.cinfo.next_scanline;
        JSAMPROW row = const_cast<JSAMPLE*>(frame.pixels.data() + memoryRow * stride);
        jpeg_write_scanlines(&c.cinfo, &row, 1);
    }
    jpeg_finish_compress(&c.cinfo);
    return true;
}

} // namespace

std::optional<std::string> EncodeJpeg(const CaptureFrame& frame, int quality) {
    if (frame.width() < 0 || frame.height() < 0 ||
        frame.pixels.size() < static_cast<std::size_t>(frame.stride()) * frame.height())
        return std::nullopt;
    Compressor c;
    // Only the pages the encoder writes are ever touched.
    c.outSize = MostBytes(frame);
    c.buffer.reset(static_cast<unsigned char*>(std::malloc(c.outSize)));
    c.out = c.buffer.get();
    if (!c.out || !CompressInto(c, frame, quality))
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(c.out), c.outSize);
}

bool WriteJpegFile(const std::string& path, const CaptureFrame& frame, int quality,
                   int* systemError) {
    int ignored = 0;
    int& error = systemError ? *systemError : ignored;
    error = 0;
    const std::optional<std::string> jpeg = EncodeJpeg(frame, quality);
    if (!jpeg)
        return false;
    errno = 0;
    std::unique_ptr<FILE, int (*)(FILE*)> file(OpenPrivateStream(path), &std::fclose);
    if (!file || std::fwrite(jpeg->data(), 1, jpeg->size(), file.get()) != jpeg->size()) {
        error = errno;
        return false;
    }
    // The last buffered bytes go out here: a full disk often shows only now.
    errno = 0;
    if (std::fclose(file.release()) != 0) {
        error = errno;
        return false;
    }
    return true;
}
