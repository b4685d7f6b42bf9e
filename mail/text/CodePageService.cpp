#include "mail/text/CodePageService.h"

#include "mail/text/TextCodec.h"

namespace {

constexpr unsigned kLatin1CodePage = 28591;
constexpr unsigned kUtf8CodePage = 65001;

unsigned Resolve(unsigned codePage) {
    return codePage == 0 ? CCodePageService::kSystemCodePage : codePage;
}

} // namespace

std::shared_ptr<CCodePageService> CCodePageService::Create() {
    if (!text::CodePageAvailable())
        return nullptr;
    return std::shared_ptr<CCodePageService>(new CCodePageService());
}

std::optional<std::string> CCodePageService::ConvertFromUtf8(std::string_view utf8,
                                                             unsigned codePage) const {
    switch (Resolve(codePage)) {
    case kSystemCodePage:
        return text::Utf8ToSjis(utf8);
    case kLatin1CodePage:
        return text::Utf8ToLatin1(utf8);
    case kUtf8CodePage:
        return std::string(utf8);
    default:
        return std::nullopt;
    }
}

std::optional<std::string> CCodePageService::CharsetName(unsigned codePage) const {
    switch (Resolve(codePage)) {
    case kSystemCodePage:
        return "shift_jis";
    case kLatin1CodePage:
        return "iso-8859-1";
    case kUtf8CodePage:
        return "utf-8";
    default:
        return std::nullopt;
    }
}
