#include "CommandLineReading.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>

namespace {

// CLI11's reading of some words.
struct WordsRead {
    CommandLineReading reading;
    bool wantsValue = false;   // the last word is an option still short of its value
    bool optionsEnded = false; // a "--" came: every word after it is plain
};

std::string unknownOption(const std::string& name) {
    return "unknown option '" + name + "' (see --help)";
}

// Every option applies as it is met; CLI11's own help and positional
// options are not used.
void prepare(CLI::App& app) {
    app.set_help_flag();
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

bool optionLike(const std::string& word) {
    return word.size() >= 2 && word[0] == '-';
}

WordsRead readWords(std::vector<std::string> words, const std::function<void(CLI::App&)>& define,
                    const std::function<void()>& reset) {
    reset();
    CLI::App app;
    prepare(app);
    define(app);
    WordsRead read;
    const std::string last = words.empty() ? std::string() : words.back();
    std::reverse(words.begin(), words.end());
    try {
        app.parse(words);
    } catch (const CommandLineRefusal& refusal) {
        read.reading.refusal = refusal.line;
    } catch (const CLI::ArgumentMismatch&) {
        // Only an option with no word after it is short of its value.
        read.wantsValue = true;
        read.reading.refusal = "option '" +
                               (last.rfind("--", 0) == 0 ? last : std::string("-") + last.back()) +
                               "' needs a value";
    }
    // What CLI11 left over, in order: unknown options (met before anything
    // refused, so they come first), the plain words and a "--".
    for (const std::string& word : app.remaining()) {
        if (read.optionsEnded || !optionLike(word)) {
            read.reading.words.push_back(word);
        } else if (word == "--") {
            read.optionsEnded = true;
        } else {
            // A long option is named up to its '=', a cluster by its first letter.
            read.reading.refusal =
                unknownOption(word[1] == '-' ? word.substr(0, word.find('=')) : word.substr(0, 2));
            read.wantsValue = false;
            break;
        }
    }
    return read;
}

enum class WordKind {
    Plain,      // CLI11 reads it as this program does
    EmptyValue, // "--name=" of an option with a value
    Refused,    // refused wherever an option may stand
};

struct WordCheck {
    WordKind kind = WordKind::Plain;
    std::string refusal;
};

// How the word reads where an option may stand, against CLI11's reading.
WordCheck checkWord(const CLI::App& app, const std::string& word) {
    using CLI::detail::valid_first_char;
    if (!optionLike(word) || word == "--")
        return {};
    if (word[1] == '-') {
        const size_t equals = word.find('=');
        if (!valid_first_char(word[2]))
            return {WordKind::Refused, unknownOption(word.substr(0, equals))};
        const CLI::Option* option =
            equals == std::string::npos ? nullptr : app.get_option_no_throw(word.substr(0, equals));
        if (option == nullptr)
            return {};
        if (option->get_items_expected_max() == 0)
            return {WordKind::Refused, "option '" + word.substr(0, equals) + "' takes no value"};
        return {equals + 1 == word.size() ? WordKind::EmptyValue : WordKind::Plain, {}};
    }
    // A cluster: flags, then perhaps one option taking the rest as its value.
    for (size_t k = 1; k < word.size(); ++k) {
        const unsigned char c = static_cast<unsigned char>(word[k]);
        const CLI::Option* option =
            valid_first_char(c) ? app.get_option_no_throw(std::string("-") + word[k]) : nullptr;
        if (option == nullptr) {
            // CLI11 names an unknown letter as this program does, but takes
            // a digit or a sign for the start of a plain word.
            if (valid_first_char(c) && std::isdigit(c) == 0)
                return {};
            return {WordKind::Refused, unknownOption(std::string("-") + word[k])};
        }
        if (option->get_items_expected_max() > 0)
            return {};
    }
    return {};
}

} // namespace

CommandLineReading readCommandLine(std::vector<std::string> arguments,
                                   const std::function<void(CLI::App&)>& define,
                                   const std::function<void()>& reset,
                                   const std::function<std::string(const std::string&)>& refuse) {
    CLI::App names;
    prepare(names);
    define(names);
    for (size_t k = 0; k < arguments.size(); ++k) {
        std::string refused = refuse ? refuse(arguments[k]) : std::string();
        const WordCheck check = refused.empty() ? checkWord(names, arguments[k])
                                                : WordCheck{WordKind::Refused, std::move(refused)};
        if (check.kind == WordKind::Plain)
            continue;
        // Whether the word stands where an option may: CLI11's reading of
        // the words before it tells.
        const WordsRead before =
            readWords({arguments.begin(), arguments.begin() + k}, define, reset);
        if (before.optionsEnded)
            break;
        if (before.wantsValue)
            continue;
        if (!before.reading.refusal.empty())
            return before.reading;
        if (check.kind == WordKind::Refused)
            return {check.refusal, {}};
        arguments[k].pop_back();
        arguments.insert(arguments.begin() + static_cast<long>(k) + 1, std::string());
        ++k;
    }
    return readWords(std::move(arguments), define, reset).reading;
}
