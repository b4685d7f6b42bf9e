#pragma once
// The byte sink a MIME message is streamed onto. CSmtpConnection is the real one; tests use
// a string. WriteAll writes every byte or reports false on the first error.

#include <string_view>

class CMimeStream {
public:
    virtual ~CMimeStream() = default;
    virtual bool WriteAll(std::string_view bytes) = 0;
};
