#include "capture/JpegReader.h"

#include "capture/JpegErrors.h"

namespace {

// The decompressor lives outside the frame that calls setjmp, so a jump back skips nothing
// that needs destroying.
struct Decompressor {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager error{};

    Decompressor() {
        cinfo.err = error.Install();
        jpeg_create_decompress(&cinfo);
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

// Where a decode goes: a grabbed-style frame (bottom-up BGR) or a luminance picture (top-down
// grey, which for a colour JPEG skips the colour planes altogether).
struct DecodeTarget {
    CaptureFrame* frame = nullptr;
    LumaImage* luma = nullptr;
};

bool DecompressInto(Decompressor& d, std::string_view jpeg, int scale, DecodeTarget target) {
    if (setjmp(d.error.jump))
        return false;
    jpeg_mem_src(&d.cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = static_cast<unsigned>(scale);
    d.cinfo.out_color_space = target.luma ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_start_decompress(&d.cinfo);
    const int width = static_cast<int>(d.cinfo.output_width);
    const int height = static_cast<int>(d.cinfo.output_height);
    std::size_t stride = 0;
    if (target.luma) {
        target.luma->width = width;
        target.luma->height = height;
        target.luma->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
        stride = static_cast<std::size_t>(width);
    } else {
        *target.frame = CaptureFrame::Blank(width, height);
        stride = static_cast<std::size_t>(target.frame->stride());
    }
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        // A frame's rows are bottom-up (the picture's top row last in memory), a luma picture's
        // top-down.
        const std::size_t scanline = d.cinfo.output_scanline;
        JSAMPROW row = target.luma
                           ? target.luma->pixels.data() + scanline * stride
                           : target.frame->pixels.data() +
                                 (static_cast<std::size_t>(height) - 1 - scanline) * stride;
        jpeg_read_scanlines(&d.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

} // namespace

namespace {

bool ScaleTaken(int scaleDenominator) {
    return scaleDenominator == 1 || scaleDenominator == 2 || scaleDenominator == 4 ||
           scaleDenominator == 8;
}

} // namespace

std::optional<CaptureFrame> DecodeJpeg(std::string_view jpeg, int scaleDenominator) {
    if (jpeg.empty() || !ScaleTaken(scaleDenominator))
        return std::nullopt;
    Decompressor d;
    CaptureFrame frame;
    if (!DecompressInto(d, jpeg, scaleDenominator, {&frame, nullptr}))
        return std::nullopt;
    return frame;
}

std::optional<LumaImage> DecodeJpegLuma(std::string_view jpeg, int scaleDenominator) {
    if (jpeg.empty() || !ScaleTaken(scaleDenominator))
        return std::nullopt;
    Decompressor d;
    LumaImage luma;
    if (!DecompressInto(d, jpeg, scaleDenominator, {nullptr, &luma}))
        return std::nullopt;
    return luma;
}
