// The bash completion the package installs, sourced into bash as bash-completion does it: it
// offers every option of the table and the words of an option that takes fixed ones.

#include "app/runtime/CommandLineOptions.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kBashCompletion = "/usr/share/bash-completion/bash_completion";

std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What completing the last word of "kestrovamail words..." offers, sorted.
std::vector<std::string> Complete(const std::vector<std::string>& words) {
    std::string command =
        "bash -c 'source \"$1\"; source \"$2\"; shift 2; COMP_WORDS=(\"$@\");"
        " COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE};"
        " _kestrovamail \"$1\" \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD - 1]}\";"
        " printf \"%s\\n\" \"${COMPREPLY[@]}\"' _ ";
    command += Quoted(kBashCompletion) + " " + Quoted(KM_BASH_COMPLETION) + " kestrovamail";
    for (const std::string& word : words)
        command += " " + Quoted(word);
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string output;
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        output.append(buffer, n);
    std::vector<std::string> offered;
    for (std::size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos;
         start = end + 1)
        if (end > start)
            offered.emplace_back(output, start, end - start);
    std::ranges::sort(offered);
    return offered;
}

class BashCompletion : public testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kBashCompletion))
            GTEST_SKIP() << "bash-completion is not installed";
    }
};

TEST_F(BashCompletion, OffersEveryOptionOfTheTable) {
    std::vector<std::string> options;
    for (const OptionRow& row : CommandLineOptions())
        if (row.name.starts_with("--"))
            options.emplace_back(row.name);
    std::ranges::sort(options);
    EXPECT_EQ(Complete({"--"}), options);
}

TEST_F(BashCompletion, AnArgumentGetsWhatItsKindOffers) {
    for (const OptionRow& row : CommandLineOptions()) {
        if (row.argument != OptionArgument::Word && row.argument != OptionArgument::Address)
            continue;
        SCOPED_TRACE(row.name);
        std::vector<std::string> words(row.words.begin(), row.words.end()); // none: an address
        std::ranges::sort(words);
        EXPECT_EQ(Complete({std::string(row.name), ""}), words);
    }
}

} // namespace
