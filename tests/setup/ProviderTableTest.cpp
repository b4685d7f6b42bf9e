// The built-in provider table against the published facts (provider_facts.txt): every row's
// servers as published, its source named, and no row without published facts.

#include "app/discovery/ProviderTable.h"

#include "tests/support/PeerProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// "imap|host|993|SSL|%EMAILADDRESS%|source" for a table server, as the facts file has it.
std::string Described(const DiscoveredServer& server, const char* source) {
    const char* kind = server.kind == ServerKind::Imap   ? "imap"
                       : server.kind == ServerKind::Pop3 ? "pop3"
                                                         : "smtp";
    return std::string(kind) + "|" + server.host + "|" + std::to_string(server.port) + "|" +
           (server.security == SecurityChoice::Tls ? "SSL" : "STARTTLS") + "|" + server.userName +
           "|" + source;
}

TEST(ProviderTable, EveryRowIsAsPublishedAndNoRowWithoutFacts) {
    // provider → its published servers, in the file's order (incoming, then outgoing).
    std::map<std::string, std::vector<std::string>> facts;
    std::istringstream lines(TempDir::ReadFile(TestSourceDir() + "/setup/provider_facts.txt"));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string field; std::getline(fields, field, '|');)
            parts.push_back(Trimmed(field));
        ASSERT_EQ(parts.size(), 7u) << line;
        std::string joined = parts[1];
        for (std::size_t i = 2; i < parts.size(); ++i)
            joined += "|" + parts[i];
        facts[parts[0]].push_back(joined);
    }
    std::size_t rows = 0;
    for (const ProviderEntry& entry : providers::ProviderRows()) {
        SCOPED_TRACE(entry.name);
        ++rows;
        ASSERT_TRUE(facts.contains(entry.name)) << "a row no published source confirms";
        EXPECT_EQ(facts[entry.name],
                  (std::vector<std::string>{Described(entry.incoming, entry.source),
                                            Described(entry.outgoing, entry.source)}));
    }
    EXPECT_EQ(rows, facts.size()) << "facts of a provider the table lacks";
}

} // namespace
