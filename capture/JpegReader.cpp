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

bool DecompressInto(Decompressor& d, std::string_view jpeg, int scale, CaptureFrame& frame) {
    if (setjmp(d.error.jump))
        return false;
    jpeg_mem_src(&d.cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = static_cast<unsigned>(scale);
    d.cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d.cinfo);
    const int width = static_cast<int>(d.cinfo.output_width);
    const int height = static_cast<int>(d.cinfo.output_height);
    frame = CaptureFrame::Blank(width, height);
    const std::size_t stride = static_cast<std::size_t>(frame.stride());
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        // The picture's top row becomes the last row in memory.
        const std::size_t memoryRow = static_cast<std::size_t>(height) - 1 - d.cinfo.output_scanline;
        JSAMPROW row = frame.pixels.data() + memoryRow * stride;
        jpeg_read_scanlines(&d.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

} // namespace

std::optional<CaptureFrame> DecodeJpeg(std::string_view jpeg, int scaleDenominator) {
    if (jpeg.empty() || (scaleDenominator != 1 && scaleDenominator != 2 && scaleDenominator != 4 &&
                         scaleDenominator != 8))
        return std::nullopt;
    Decompressor d;
    CaptureFrame frame;
    if (!DecompressInto(d, jpeg, scaleDenominator, frame))
        return std::nullopt;
    return frame;
}
