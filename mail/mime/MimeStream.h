#pragma once
// The byte sink a MIME message is streamed onto: the SMTP session makes each message in memory
// (CStringMimeStream) before it opens the transaction. WriteAll writes every byte or reports
// false on the first error.

#include <map>
#include <string>
#include <string_view>

// Encoded bodies of file parts by file and form, kept by a stream across the messages written
// onto it.
using EncodedBodyMemo = std::map<std::string, std::string>;

class CMimeStream {
public:
    virtual ~CMimeStream() = default;
    virtual bool WriteAll(std::string_view bytes) = 0;
    // Where file parts keep their encoded bodies while the stream lives, so that a file sent
    // in several messages onto it (one reply to several requesters over one connection) is
    // read and encoded once; null when the stream keeps none.
    virtual EncodedBodyMemo* EncodedBodies() { return nullptr; }
};

// A stream into memory: a whole message made before it is sent, so that its size is known.
class CStringMimeStream final : public CMimeStream {
public:
    bool WriteAll(std::string_view bytes) override {
        m_bytes.append(bytes);
        return true;
    }
    std::string& Bytes() { return m_bytes; }

private:
    std::string m_bytes;
};
