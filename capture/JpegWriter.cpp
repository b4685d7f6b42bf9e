#include "capture/JpegWriter.h"

#include "base/PrivateFile.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <memory>

#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo with the JCS_EXT_* colour spaces is required"
#endif

namespace {

// libjpeg reports fatal errors through error_exit, which must not return. Ours jumps back to
// the setjmp in CompressInto; that frame holds only trivially destructible objects, so the jump
// skips no destructor. Everything with a destructor lives in WriteJpegFile.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void JumpBack(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void KeepQuiet(j_common_ptr) {}

struct Compressor {
    jpeg_compress_struct cinfo{};
    ErrorManager error{};
    bool created = false;

    ~Compressor() {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }
};

// The rows go to the encoder straight from the frame: the library reads blue-first pixels
// itself (JCS_EXT_BGR), so neither a copy of the picture nor a scratch row is needed.
bool CompressInto(Compressor& c, FILE* file, const CaptureFrame& frame, int quality) {
    if (setjmp(c.error.jump))
        return false;

    jpeg_stdio_dest(&c.cinfo, file);
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

bool WriteJpegFile(const std::string& path, const CaptureFrame& frame, int quality,
                   int* systemError) {
    int ignored = 0;
    int& error = systemError ? *systemError : ignored;
    error = 0;
    if (frame.width() < 0 || frame.height() < 0 ||
        frame.pixels.size() < static_cast<std::size_t>(frame.stride()) * frame.height())
        return false;

    Compressor c;
    c.cinfo.err = jpeg_std_error(&c.error.pub);
    c.error.pub.error_exit = JumpBack;
    c.error.pub.output_message = KeepQuiet;
    jpeg_create_compress(&c.cinfo);
    c.created = true;

    // A failed fwrite inside the library leaves its errno; the library's own errors leave 0.
    errno = 0;
    std::unique_ptr<FILE, int (*)(FILE*)> file(OpenPrivateStream(path), &std::fclose);
    if (!file) {
        error = errno;
        return false;
    }
    if (!CompressInto(c, file.get(), frame, quality)) {
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
