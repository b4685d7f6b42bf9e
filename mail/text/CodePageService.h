#pragma once
// The code-page service of the MIME composer: converts the program's UTF-8 texts into a mail
// code page and names that code page's charset. Code page 0 stands for the system code page,
// which is 932 (charset "shift_jis"); 28591 is "iso-8859-1"; 65001 is "utf-8".
// The main window and the snapshot mail dialog create one and share it with their messages.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class CCodePageService {
public:
    static constexpr unsigned kSystemCodePage = 932;

    // A new service, or null when the platform cannot convert to code page 932.
    static std::shared_ptr<CCodePageService> Create();

    // UTF-8 text to bytes of codePage (0 = the system code page); nullopt for a code page
    // the service does not know.
    std::optional<std::string> ConvertFromUtf8(std::string_view utf8, unsigned codePage) const;
    // The charset name of codePage (0 = the system code page); nullopt when unknown.
    std::optional<std::string> CharsetName(unsigned codePage) const;

private:
    CCodePageService() = default;
};
