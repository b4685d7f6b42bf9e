#include "app/service/SenderCheck.h"

#include "mail/dkim/AuthenticationResults.h"
#include "mail/dkim/DkimVerifier.h"
#include "mail/dkim/DomainAlignment.h"
#include "mail/mime/MailAddress.h"
#include "mail/text/AsciiCase.h"

#include <optional>
#include <vector>

namespace {

using dkim::Outcome;

std::string ReasonOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::Pass:
        return {};
    case Outcome::NoSignature:
        return "署名がありません";
    case Outcome::BadSignature:
        return "署名が一致しません";
    case Outcome::KeyMissing:
        return "鍵が見つかりません";
    case Outcome::KeyRevoked:
        return "鍵が取り消されています";
    case Outcome::KeyTooShort:
        return "鍵が短すぎます";
    case Outcome::KeyUnusable:
        return "鍵が使えません";
    case Outcome::Expired:
        return "署名の期限が切れています";
    case Outcome::PartialBody:
        return "本文の一部しか署名されていません";
    case Outcome::FromNotSigned:
        return "署名が差出人を含みません";
    case Outcome::SubjectNotSigned:
        return "署名が件名を含みません";
    case Outcome::KeyTesting:
        return "鍵が試験用です";
    case Outcome::DnsFailed:
        return "DNSが応答しません";
    }
    return {};
}

constexpr const char* kMisaligned = "署名のドメインが差出人と異なります";

// The verdict of the signatures: one that verifies with an aligned domain proves the sender;
// otherwise an aligned signature says why it failed, and a sound one of another domain that it
// is another domain's.
SenderVerdict Combine(const std::vector<dkim::SignatureResult>& results,
                      std::string_view fromDomain) {
    if (results.empty())
        return {SenderVerdict::Kind::Refused, ReasonOf(Outcome::NoSignature)};
    const dkim::SignatureResult* firstAligned = nullptr;
    bool otherDomainPassed = false;
    for (const dkim::SignatureResult& result : results) {
        const bool aligned = alignment::RelaxedAligned(result.domain, fromDomain);
        if (aligned && result.outcome == Outcome::Pass)
            return {SenderVerdict::Kind::Verified, {}};
        if (aligned && !firstAligned)
            firstAligned = &result;
        otherDomainPassed = otherDomainPassed || result.outcome == Outcome::Pass;
    }
    const Outcome outcome = firstAligned ? firstAligned->outcome
                            : otherDomainPassed ? Outcome::Pass
                                                : results.front().outcome;
    if (outcome == Outcome::Pass)
        return {SenderVerdict::Kind::Refused, kMisaligned};
    if (outcome == Outcome::DnsFailed)
        return {SenderVerdict::Kind::NoVerdict, ReasonOf(outcome)};
    return {SenderVerdict::Kind::Refused, ReasonOf(outcome)};
}

} // namespace

CSenderCheck::CSenderCheck(std::string trustedAuthservId, const CCancelSignal* cancel)
    : m_trustedAuthservId(std::move(trustedAuthservId)) {
    m_resolver.SetCancelSignal(cancel);
}

TxtAnswer CSenderCheck::Lookup(const std::string& name,
                               std::chrono::steady_clock::time_point deadline) {
    const std::string key = ascii::Lower(name);
    if (const auto found = m_answers.find(key); found != m_answers.end())
        return found->second;
    TxtAnswer answer = m_resolver.LookupTxt(name, deadline);
    if (answer.status != TxtAnswer::Status::Failed) {
        m_answers.emplace(key, answer); // a failure is asked again
        m_dnsAnswered = true;
    } else if (answer.error.code != MailErrorCode::Cancelled) {
        m_dnsFailed = true;
    }
    return answer;
}

SenderVerdict CSenderCheck::Check(std::string_view message, const std::string& address) {
    std::string text;
    text.reserve(message.size());
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\n' && (i == 0 || message[i - 1] != '\r'))
            text += '\r';
        text += message[i];
    }
    const std::optional<dkim::MessageParts> parts = dkim::SplitMessage(text);
    if (!parts)
        return {SenderVerdict::Kind::Refused, "メールの形式が正しくありません"};
    // The From the allow-list read must be the message's only From, and the Subject the
    // request was recognised by its only Subject: a signature covers one of each, and a field
    // added above a signed mail must not borrow its signature.
    std::vector<std::string_view> from, authenticationResults;
    std::size_t subjects = 0;
    for (const dkim::HeaderField& field : parts->fields) {
        if (ascii::EqualNoCase(field.name, "From"))
            from.push_back(dkim::FieldValue(field));
        else if (ascii::EqualNoCase(field.name, "Subject"))
            ++subjects;
        else if (ascii::EqualNoCase(field.name, "Authentication-Results"))
            authenticationResults.push_back(dkim::FieldValue(field));
    }
    if (from.size() != 1 || !mailbox::SameAddress(mailbox::AddressOf(from[0]), address))
        return {SenderVerdict::Kind::Refused, "差出人の欄が正しくありません"};
    if (subjects != 1)
        return {SenderVerdict::Kind::Refused, "件名の欄が正しくありません"};
    const std::string_view fromDomain = mailbox::DomainOf(address);

    if (!m_trustedAuthservId.empty() &&
        authres::TrustedDmarcPass(authenticationResults, m_trustedAuthservId, fromDomain))
        return {SenderVerdict::Kind::Verified, {}};

    const auto deadline = std::chrono::steady_clock::now() + kRequestLimit;
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const dkim::KeyLookup lookup = [this, deadline](const std::string& name) {
        const TxtAnswer answer = Lookup(name, deadline);
        dkim::KeyAnswer key;
        key.records = answer.records;
        key.status = answer.status == TxtAnswer::Status::Found ? dkim::KeyAnswer::Status::Found
                     : answer.status == TxtAnswer::Status::NotFound
                         ? dkim::KeyAnswer::Status::NotFound
                         : dkim::KeyAnswer::Status::Failed;
        return key;
    };
    return Combine(dkim::VerifyMessage(text, lookup, static_cast<uint64_t>(now)), fromDomain);
}

SenderVerdict CSenderCheck::CheckRequest(IRequestMailbox& mailbox, std::size_t index,
                                         const std::string& address) {
    std::string message;
    switch (mailbox.FetchWhole(index, kMaxRequestBytes, message)) {
    case IRequestMailbox::Whole::Fetched:
        return Check(message, address);
    case IRequestMailbox::Whole::TooLarge:
        return {SenderVerdict::Kind::Refused, "メールが大きすぎます"};
    case IRequestMailbox::Whole::Gone:
        return {SenderVerdict::Kind::NoVerdict, "メールがなくなりました"};
    case IRequestMailbox::Whole::Failed:
        break;
    }
    return {SenderVerdict::Kind::Failed, {}};
}
