#include "app/service/RequestRules.h"

#include "base/AtomicFile.h"
#include "mail/text/AsciiCase.h"
#include "mail/mime/MailAddress.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The keyword of a field whose value may carry parameters after ';' ("auto-replied; x=y").
std::string_view Keyword(std::string_view value) {
    return Trimmed(value.substr(0, value.find(';')));
}

} // namespace

std::string AutomaticMailReason(const RequestHeader& header, const std::string& fromAddress) {
    const std::string_view submitted = Keyword(header.autoSubmitted);
    if (!submitted.empty() && !ascii::EqualNoCase(submitted, "no"))
        return "自動送信のメールです (Auto-Submitted: " + std::string(submitted) + ")";
    const std::string_view precedence = Keyword(header.precedence);
    for (const char* bulk : {"bulk", "list", "junk"}) {
        if (ascii::EqualNoCase(precedence, bulk))
            return "一斉配信のメールです (Precedence: " + std::string(precedence) + ")";
    }
    if (!Trimmed(header.listId).empty())
        return "メーリングリストのメールです (List-Id)";
    if (Trimmed(header.returnPath) == "<>")
        return "差出人のないメールです (Return-Path: <>)";
    const std::string_view local = std::string_view(fromAddress).substr(0, fromAddress.rfind('@'));
    if (ascii::EqualNoCase(local, "mailer-daemon") || ascii::EqualNoCase(local, "postmaster"))
        return "配送システムからのメールです (" + std::string(local) + ")";
    return {};
}

CReplyLimit::CReplyLimit(std::string folder)
    : m_path(folder.empty() ? std::string() : folder + kFileName) {
    if (m_path.empty())
        return;
    std::ifstream file(m_path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        long long at = 0;
        std::string address;
        if (fields >> at && std::getline(fields >> std::ws, address) && !address.empty())
            m_answered.push_back({static_cast<std::time_t>(at), address});
    }
}

int CReplyLimit::AnsweredInLastHour(const std::string& address, std::time_t now) const {
    return static_cast<int>(
        std::count_if(m_answered.begin(), m_answered.end(), [&](const Answered& answered) {
            return answered.at > now - kWindowSeconds && answered.at <= now &&
                   mailbox::SameAddress(answered.address, address);
        }));
}

void CReplyLimit::Record(const std::string& address, int count, std::time_t now) {
    for (int i = 0; i < count; ++i)
        m_answered.push_back({now, address});
}

bool CReplyLimit::Save(std::time_t now, int* systemError) {
    std::erase_if(m_answered, [now](const Answered& answered) {
        return answered.at <= now - kWindowSeconds;
    });
    if (m_path.empty())
        return true;
    std::string text;
    for (const Answered& answered : m_answered)
        text += std::to_string(static_cast<long long>(answered.at)) + "\t" + answered.address +
                "\n";
    return ReplaceFileContents(m_path, text, systemError);
}
