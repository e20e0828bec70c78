#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace vorn::cli {

// One command's options, parsed by CLI11. Whole numbers are taken as text and
// checked after parsing, so their limits and messages stay this program's own.
// Every usage error ends as one line with the help hint, and exit code 2.
class CommandLine {
public:
    CommandLine(const char* command, const char* summary);
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Text shown after the options in --help (exit codes, for example).
    void footer(const char* text);
    void flag(const char* name, bool* value, const char* help);
    void text(const char* name, std::string* value, const char* help, const char* shape = "TEXT");
    // A whole number in [0, max]; `invalid` replaces "NAME needs a whole number up to MAX".
    void number(const char* name, uint64_t* value, uint64_t max, const char* help,
                const char* invalid = nullptr);
    // Every positional argument, in order; without it, any is an unexpected argument.
    void positionals(const char* name, std::vector<std::string>* values, const char* help);

    // Parses the arguments after the command's name. nullopt when the command goes
    // on; otherwise its exit code: 0 after --help, 2 after a usage error was printed.
    std::optional<int> parse(int argc, char** argv);
    bool given(const char* name) const;
    // Prints a usage error of the command's own and answers its exit code.
    int usageError(const std::string& message) const;

private:
    struct Number {
        CLI::Option* option;
        std::string text;
        uint64_t* value;
        uint64_t max;
        std::string invalid;
    };
    CLI::Option* once(CLI::Option* option, std::string missing);
    std::optional<std::string> problem();
    std::string missingValue(const std::string& why) const;

    const char* command_;
    std::unique_ptr<CLI::App> app_;
    // Stable addresses: CLI11 writes into each one's text.
    std::vector<std::unique_ptr<Number>> numbers_;
    // Each option, with what is said when its value is missing.
    std::vector<std::pair<CLI::Option*, std::string>> options_;
};

}  // namespace vorn::cli
