#pragma once

// A command line read by CLI11 as this project's programs have always read
// theirs: where CLI11 alone would read a word otherwise, the word is read as
// before. So "--name=" gives name an empty value (CLI11 would take the next
// word for it), a flag given a value is refused (CLI11 takes "=yes" for
// true), and a word that looks like an option but that CLI11 would take for
// a plain word ("-5", "---x", "-!") is an unknown option. The first word
// refused is the one reported: options apply as they are met.

#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// Thrown by an option's callback when its value is refused: line says why.
struct CommandLineRefusal {
    std::string line;
};

struct CommandLineReading {
    std::string refusal;            // the line said, empty when all was taken
    std::vector<std::string> words; // the words that are no option's, in order
};

// define adds the options, bound to the caller's results, to a new App: it
// may be called several times, each time after reset has undone what an
// earlier reading applied. The App, which allows extras, takes no
// positional option: the plain words come back in the reading. refuse, when given,
// returns the refusal of a word the program never took where an option may
// stand, or nothing.
CommandLineReading
readCommandLine(std::vector<std::string> arguments, const std::function<void(CLI::App&)>& define,
                const std::function<void()>& reset,
                const std::function<std::string(const std::string&)>& refuse = {});
