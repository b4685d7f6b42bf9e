#include "app/runtime/BashCompletion.h"

#include "app/runtime/CommandLineOptions.h"

#include <vector>

namespace {

// The words joined by spaces, for compgen -W.
template <class Words> std::string WordList(const Words& words) {
    std::string list;
    for (const std::string_view word : words)
        (list += list.empty() ? "" : " ") += word;
    return list;
}

// The bash lines that fill COMPREPLY for the argument of the row.
std::string ArgumentCompletion(const OptionRow& row) {
    switch (row.argument) {
    case OptionArgument::Device:
        return R"sh(            COMPREPLY=($(compgen -W "$(shopt -s nullglob; echo /dev/video*)" -- "$cur"))
)sh";
    case OptionArgument::Setting:
        // The names as the program being completed lists them (SECTION.KEY=), so that they
        // never fall behind it. A table of the settings linked in here could list them instead.
        return R"sh(            local names
            names=$("$1" --show-settings 2>/dev/null | sed -n 's/^\([A-Za-z0-9_]*\.[A-Za-z0-9_]*\)=.*/\1=/p')
            compopt -o nospace
            COMPREPLY=($(compgen -W "$names" -- "$cur"))
)sh";
    case OptionArgument::Word:
        return "            COMPREPLY=($(compgen -W \"" + WordList(row.words) +
               "\" -- \"$cur\"))\n";
    case OptionArgument::Address:
    case OptionArgument::Camera:
    case OptionArgument::None:
        break;
    }
    return {}; // nothing to offer
}

} // namespace

std::string BashCompletionScript() {
    std::string script =
        R"(# bash completion for kestrovamail                                   -*- shell-script -*-
# Made from the program's option table when it was built.

_kestrovamail() {
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
)";
    std::vector<std::string_view> names;
    for (const OptionRow& row : CommandLineOptions()) {
        if (row.name.starts_with("--"))
            names.push_back(row.name);
        if (row.argument == OptionArgument::None)
            continue;
        std::string pattern(row.name);
        if (!row.alias.empty())
            (pattern += " | ") += row.alias;
        script += "        " + pattern + ")\n" + ArgumentCompletion(row) + "            return\n" +
                  "            ;;\n";
    }
    script += R"(    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W ")" +
              WordList(names) + R"(" -- "$cur"))
    fi
} &&
    complete -F _kestrovamail kestrovamail
)";
    return script;
}
