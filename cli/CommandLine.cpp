#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "cli/CliSupport.h"

namespace vorn::cli {

CommandLine::CommandLine(const char* command, const char* summary)
    : command_(command),
      app_(std::make_unique<CLI::App>(summary, std::string("qkvorn-cli ") + command)) {
    // Unknown options are kept and refused by this class, in this program's words.
    app_->allow_extras();
}

void CommandLine::footer(const char* text) {
    app_->footer(text);
}

CommandLine::~CommandLine() = default;

// An option is given once at most; a second one is refused after parsing, rather
// than one silently winning.
CLI::Option* CommandLine::once(CLI::Option* option, std::string missing) {
    option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    options_.emplace_back(option, std::move(missing));
    return option;
}

void CommandLine::flag(const char* name, bool* value, const char* help) {
    once(app_->add_flag(name, *value, help), "");
}

void CommandLine::text(const char* name, std::string* value, const char* help, const char* shape) {
    once(app_->add_option(name, *value, help)->type_name(shape),
         std::string(name) + " needs a value");
}

void CommandLine::number(const char* name, uint64_t* value, uint64_t max, const char* help,
                         const char* invalid) {
    auto number = std::make_unique<Number>();
    number->value = value;
    number->max = max;
    number->invalid = invalid != nullptr ? invalid
                                         : std::string(name) + " needs a whole number up to " +
                                               std::to_string(max);
    number->option = once(app_->add_option(name, number->text, help)->type_name("N"),
                          invalid != nullptr ? invalid : std::string(name) + " needs a value");
    numbers_.push_back(std::move(number));
}

void CommandLine::positionals(const char* name, std::vector<std::string>* values,
                              const char* help) {
    app_->add_option(name, *values, help)->type_name("");
}

bool CommandLine::given(const char* name) const {
    return app_->count(name) > 0;
}

int CommandLine::usageError(const std::string& message) const {
    return failWith(command_, message, 2);
}

// CLI11 names the option first: "--member: 1 required N missing".
std::string CommandLine::missingValue(const std::string& why) const {
    for (const auto& [option, missing] : options_) {
        if (!missing.empty() && why.rfind(option->get_name() + ":", 0) == 0) {
            return missing;
        }
    }
    return why;
}

// What CLI11 left over, then the numbers, in the order they were declared.
std::optional<std::string> CommandLine::problem() {
    // An unknown option says more than a stray argument before it.
    const std::vector<std::string> extras = app_->remaining();
    const auto unknown = std::find_if(extras.begin(), extras.end(), [](const std::string& extra) {
        return extra.size() > 1 && extra[0] == '-';
    });
    if (unknown != extras.end()) {
        return "unknown option '" + *unknown + "'";
    }
    if (!extras.empty()) {
        return std::string("unexpected argument");
    }
    for (const auto& [option, missing] : options_) {
        if (option->count() > 1) {
            return option->get_name() + " is given more than once";
        }
    }
    for (const auto& number : numbers_) {
        if (number->option->count() > 0 &&
            !parseUnsigned(number->text, number->max, number->value)) {
            return number->invalid;
        }
    }
    return std::nullopt;
}

std::optional<int> CommandLine::parse(int argc, char** argv) {
    // CLI11 takes the arguments last first.
    std::vector<std::string> args(argv, argv + argc);
    std::reverse(args.begin(), args.end());
    try {
        app_->parse(args);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app_->help().c_str(), stdout);
        return 0;
    } catch (const CLI::ArgumentMismatch& e) {
        return usageError(missingValue(e.what()));
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        std::replace(message.begin(), message.end(), '\n', ' ');
        return usageError(message);
    }
    if (const auto why = problem()) {
        return usageError(*why);
    }
    return std::nullopt;
}

}  // namespace vorn::cli
