#pragma once
// Helpers of the end-to-end tests: request mails, the activity log as the user sees it, and the
// size of a JPEG file as libjpeg reads it.

#include "app/report/ActivityLog.h"
#include "mail/text/TextCodec.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <cstdio>
#include <filesystem>
#include <jpeglib.h>
#include <memory>
#include <setjmp.h>
#include <string>
#include <utility>
#include <vector>

// A mail as a POP3 mailbox holds it (CR LF lines).
inline std::string RequestMail(const std::string& from, const std::string& subject) {
    static int serial = 0;
    ++serial;
    return "Return-Path: <x@example.com>\r\n"
           "From: " +
           from + "\r\nTo: camera@example.com\r\nSubject: " + subject + "\r\nMessage-ID: <" +
           std::to_string(serial) +
           "@example.com>\r\nDate: Sun, 6 Dec 2026 15:40:00 +0900\r\n\r\nplease\r\n";
}

// The messages of the log text, without the time stamps.
inline std::vector<std::string> MessagesOf(const std::string& logText) {
    std::vector<std::string> messages;
    size_t start = 0;
    while (start < logText.size()) {
        size_t end = logText.find("\r\n", start);
        if (end == std::string::npos)
            end = logText.size();
        const std::string line = logText.substr(start, end - start);
        const size_t dash = line.find(" - ");
        messages.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
        start = end + 2;
    }
    return messages;
}

// The messages of log.txt in folder (code page 932 on disk).
inline std::vector<std::string> FileMessages(const std::filesystem::path& folder) {
    const auto file = folder / kLogFileName;
    if (!std::filesystem::exists(file))
        return {};
    return MessagesOf(text::SjisToUtf8(TempDir::ReadFile(file)));
}

// Width and height of a JPEG file; {0, 0} when it is not one.
inline std::pair<int, int> JpegSize(const std::filesystem::path& file) {
    struct ErrorManager {
        jpeg_error_mgr base;
        jmp_buf jump;
    };
    std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
    if (!in)
        return {0, 0};
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = [](j_common_ptr cinfo) {
        longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
    };
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return {0, 0};
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, in.get());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info); // reads the whole frame header, so a broken file shows here
    const std::pair<int, int> size{static_cast<int>(info.output_width),
                                   static_cast<int>(info.output_height)};
    jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    return size;
}

// JPEG files left in folder (reply pictures that were not removed).
inline int JpegFilesIn(const std::filesystem::path& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".jpg")
            ++count;
    return count;
}

// An SMTP peer without AUTH on a given port.
inline SmtpPeer::Options SmtpOnPort(int port) {
    SmtpPeer::Options options;
    options.port = port;
    return options;
}

// A new folder inside dir for the parts of one decoded mail.
inline std::filesystem::path DecodeFolder(const TempDir& dir, const std::string& name) {
    const auto folder = dir.path() / name;
    std::filesystem::create_directories(folder);
    return folder;
}
