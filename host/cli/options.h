// Command-line options: each command describes its options in a plain table,
// and one parser checks a command line against it before anything runs.
// Options are "--name", "--name VALUE", "--name=VALUE", "-x", "-x VALUE",
// "-xVALUE"; flags of one letter may be joined ("-q0"); "--" ends the
// options; "-" alone is an operand (standard input).
#pragma once

#include "cli/commands.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace host {

struct OptionRow {
    const char* name;       // "--jobs"
    char letter;            // 'j', or 0 when there is no short form
    const char* valueName;  // "N" for an option that takes a value; null for a flag
    const char* help;
};

// What a command accepts, for the parser and for its --help.
struct CommandSyntax {
    const char* name;           // "dump", "reg export"
    const char* operands;       // "[FILE|FOLDER]..."
    const char* summary;        // one line
    const OptionRow* options;   // may be null
    size_t optionCount;
    size_t minimumOperands;
    size_t maximumOperands;     // SIZE_MAX: any number
    // After the first operand, an argument that starts with '-' and is no
    // option of the command (a long one, or a letter alone) is an operand:
    // search's "-word".
    bool dashOperands = false;
};

class ParsedArguments {
public:
    bool Has(const char* name) const;
    // The last value given for `name`, or null.
    const std::u16string* Value(const char* name) const;
    // Every value given for `name`, in order.
    std::vector<std::u16string> Values(const char* name) const;
    const Arguments& Operands() const { return operands; }

private:
    friend bool ParseArguments(const Arguments&, const CommandSyntax&, ParsedArguments&, std::string&);
    struct Given {
        const char* name;
        std::u16string value;
    };
    std::vector<Given> given;
    Arguments operands;
};

// Checks `args` against `syntax`. On a usage error answers false with
// `error` naming the problem. "-h" or "--help" ends the parse at once with
// success and "--help" given.
bool ParseArguments(const Arguments& args, const CommandSyntax& syntax, ParsedArguments& parsed,
                    std::string& error);

// "usage: trellan dump [OPTIONS] [FILE|FOLDER]..." and, with `full`, the
// summary and the options, one a line.
void PrintCommandUsage(FILE* out, const CommandSyntax& syntax, bool full);

// A whole number from `minimum` to `maximum` written in decimal; false for
// anything else.
bool ParseNumber(const std::u16string& text, unsigned long minimum, unsigned long maximum, unsigned long& number);

// The value of the option `name`, when given, into `number`: a number from
// `minimum` to `maximum`. False, with the usage error said for `command`,
// when it is something else.
bool ReadNumberOption(const ParsedArguments& parsed, const char* command, const char* name, unsigned long maximum,
                      unsigned long& number, unsigned long minimum = 1);

// The exit codes of every command.
// 3: an index that cannot be opened, read or written, or is damaged.
enum ExitCode { exitSuccess = 0, exitFailure = 1, exitUsage = 2, exitIndexFailed = 3 };

// The exit codes in one line, as the help texts end.
extern const char* const exitStatusLine;

}  // namespace host
