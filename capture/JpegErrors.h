#pragma once
// How the JPEG encoder and decoder hear of libjpeg's fatal errors: error_exit must not return,
// so it jumps back to the setjmp of the call that started the work; that frame holds only
// trivially destructible objects, and everything with a destructor lives outside it. Warnings
// and messages are not printed.

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;

    // Installs the manager on a compress or decompress object's common part.
    jpeg_error_mgr* Install() {
        jpeg_std_error(&pub);
        pub.error_exit = [](j_common_ptr cinfo) {
            std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
        };
        pub.output_message = [](j_common_ptr) {};
        return &pub;
    }
};
