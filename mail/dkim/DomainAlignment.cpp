#include "mail/dkim/DomainAlignment.h"

#include "mail/text/AsciiCase.h"

#include <libpsl.h>
#include <memory>

namespace alignment {
namespace {

struct PslFree {
    void operator()(psl_ctx_t* context) const { psl_free(context); }
};

// Loaded once; libpsl's look-ups do not change the context, so threads may share it.
const psl_ctx_t* SuffixList() {
    static const std::unique_ptr<psl_ctx_t, PslFree> latest(psl_latest(nullptr));
    return latest ? latest.get() : psl_builtin();
}

std::string Normalized(std::string_view domain) {
    while (!domain.empty() && domain.back() == '.')
        domain.remove_suffix(1);
    return ascii::Lower(domain);
}

} // namespace

std::string OrganizationalDomain(std::string_view domain) {
    const std::string name = Normalized(domain);
    const psl_ctx_t* list = SuffixList();
    const char* registrable = list ? psl_registrable_domain(list, name.c_str()) : nullptr;
    return registrable ? std::string(registrable) : name;
}

bool RelaxedAligned(std::string_view signingDomain, std::string_view fromDomain) {
    const std::string signing = OrganizationalDomain(signingDomain);
    return !signing.empty() && signing == OrganizationalDomain(fromDomain);
}

} // namespace alignment
