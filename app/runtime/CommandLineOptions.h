#pragma once
// The options of kestrovamail, one row each. Parsing, --help (and through it the manual page,
// which help2man makes from --help) and the bash completion made at build time all read this
// table, so an option is written down once.

#include "app/runtime/CommandLine.h"

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

// What an option's argument is; it is also what the completion offers for it.
enum class OptionArgument {
    None,    // a switch
    Device,  // a camera: its display name or a /dev/video* path
    Setting, // SECTION.KEY=VALUE
    Word,    // one of the row's words
    Address, // a mail address
    Camera,  // a camera's name (CAMERAn.NAME)
};

// The commands (modes) an option goes with.
class ModeSet final {
public:
    constexpr ModeSet() = default; // every mode
    constexpr ModeSet(std::initializer_list<CommandLine::Mode> modes) : m_bits(0) {
        for (const CommandLine::Mode mode : modes)
            m_bits |= Bit(mode);
    }
    constexpr bool Has(CommandLine::Mode mode) const { return (m_bits & Bit(mode)) != 0; }
    constexpr bool IsOnly(CommandLine::Mode mode) const { return m_bits == Bit(mode); }

private:
    static constexpr unsigned Bit(CommandLine::Mode mode) {
        return 1u << static_cast<unsigned>(mode);
    }
    unsigned m_bits = ~0u;
};

struct OptionRow {
    // "--device"; "startup" is a bare word, as the autostart entry gives it.
    std::string_view name{};
    std::string_view alias{}; // a short form ("-h"), or empty
    OptionArgument argument = OptionArgument::None;
    // The argument as --help names it ("NAME|PATH"); for OptionArgument::Word, the words.
    std::string_view placeholder{};
    // The values an OptionArgument::Word takes; a word "prefix:NAME" stands for the prefix with
    // any name after it ("camera:NAME": camera:玄関).
    std::span<const std::string_view> words{};
    // What --help says, in Japanese for lupdate (QT_TRANSLATE_NOOP, context "CommandLine"), one
    // line of text a line; nullptr for a switch that goes with one command only, which --help
    // then shows in that command's line ("--set-up ADDRESS [--dry-run]") and text.
    const char* help = nullptr;
    CommandLine::Mode mode = CommandLine::Mode::Window; // the command it selects; Window: none
    ModeSet goesWith{};                                 // the commands it combines with
    const char* misplaced = nullptr; // the error when it is given with another command
    const char* badValue = nullptr;  // the error for a value it does not take
    // Puts the option into the parse result; a switch gets "".
    void (*store)(CommandLine& line, std::string value) = nullptr;
};

// Every option, in the order of --help.
std::span<const OptionRow> CommandLineOptions();

// The option's first column in --help: "-h, --help", "--set-up ADDRESS [--dry-run]".
std::string OptionUsage(const OptionRow& row);
