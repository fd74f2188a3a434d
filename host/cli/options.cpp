// The parser and the help text. Every command takes -h and --help, which
// end the parse at once. Help is wrapped to 80 columns, each option's help
// at column 27 (on the next line when the option is too long). Numbers are
// read by hand and checked against the maximum before each digit: unsigned
// long has 32 bits on Windows, and a number must never wrap around.
#include "cli/options.h"

#include "text/text_conversion.h"

#include <cstdint>
#include <algorithm>
#include <cstring>

namespace host {

const char* const exitStatusLine =
    "exit status: 0 success, 1 a file or an operation failed, 2 a usage error"
#ifdef TRELLAN_HOST_INDEX
    ",\n3 the index cannot be read or written, 130 or 143 stopped by Ctrl-C or SIGTERM"
#endif
    ;
namespace {

const OptionRow helpRow = {"--help", 'h', nullptr, "print this help and exit"};

const OptionRow* FindLong(const CommandSyntax& syntax, std::u16string_view name)
{
    for (size_t i = 0; i < syntax.optionCount; ++i)
        if (FromUtf8(syntax.options[i].name) == name)
            return &syntax.options[i];
    return name == u"--help" ? &helpRow : nullptr;
}

const OptionRow* FindLetter(const CommandSyntax& syntax, char16_t letter)
{
    for (size_t i = 0; i < syntax.optionCount; ++i)
        if (syntax.options[i].letter != 0 && char16_t(syntax.options[i].letter) == letter)
            return &syntax.options[i];
    return letter == u'h' ? &helpRow : nullptr;
}

std::string Prefixed(const CommandSyntax& syntax, const std::string& message)
{
    return std::string("trellan ") + syntax.name + ": " + message;
}

// Help text fits a terminal of 80 columns.
constexpr size_t helpWidth = 80;

// `text` broken between words (at spaces and newlines alike) into lines of
// at most `width` columns (a longer word stands alone, moved left of the
// indent as far as it must), the first line
// starting at column `first`, the others indented to `indent`.
std::string Wrapped(const std::string& text, size_t first, size_t indent, size_t width = helpWidth)
{
    std::string out;
    size_t column = first;
    size_t at = text.find_first_not_of(" \n");
    while (at < text.size()) {
        const size_t end = std::min(text.find_first_of(" \n", at), text.size());
        const size_t length = end - at;
        if (!out.empty()) {
            if (column + 1 + length > width) {
                // A word too long for the indented line is pulled left.
                const size_t start = indent + length > width ? (length < width ? width - length : 0) : indent;
                out += '\n' + std::string(start, ' ');
                column = start;
            } else {
                out += ' ';
                ++column;
            }
        }
        out.append(text, at, length);
        column += length;
        at = text.find_first_not_of(" \n", end);
    }
    return out;
}

}  // namespace

bool ParsedArguments::Has(const char* name) const
{
    for (const Given& option : given)
        if (std::strcmp(option.name, name) == 0)
            return true;
    return false;
}

const std::u16string* ParsedArguments::Value(const char* name) const
{
    const std::u16string* last = nullptr;
    for (const Given& option : given)
        if (std::strcmp(option.name, name) == 0)
            last = &option.value;
    return last;
}

std::vector<std::u16string> ParsedArguments::Values(const char* name) const
{
    std::vector<std::u16string> values;
    for (const Given& option : given)
        if (std::strcmp(option.name, name) == 0)
            values.push_back(option.value);
    return values;
}

bool ParseArguments(const Arguments& args, const CommandSyntax& syntax, ParsedArguments& parsed,
                    std::string& error)
{
    parsed = ParsedArguments();
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != u'-') {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == u"--") {
            optionsEnded = true;
            continue;
        }
        if (syntax.dashOperands && !parsed.operands.empty() &&
            (arg[1] == u'-' ? !FindLong(syntax, arg.substr(0, arg.find(u'='))) : arg.size() > 2 || !FindLetter(syntax, arg[1]))) {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg[1] == u'-') {
            const size_t equals = arg.find(u'=');
            const std::u16string name = arg.substr(0, equals);
            const OptionRow* row = FindLong(syntax, name);
            if (!row) {
                error = Prefixed(syntax, "unknown option " + ToUtf8(name));
                return false;
            }
            if (row == &helpRow)
                return parsed.given.push_back({row->name, {}}), true;  // help needs nothing else
            if (!row->valueName) {
                if (equals != std::u16string::npos) {
                    error = Prefixed(syntax, std::string(row->name) + " takes no value");
                    return false;
                }
                parsed.given.push_back({row->name, {}});
            } else if (equals != std::u16string::npos) {
                parsed.given.push_back({row->name, arg.substr(equals + 1)});
            } else if (i + 1 < args.size()) {
                parsed.given.push_back({row->name, args[++i]});
            } else {
                error = Prefixed(syntax, std::string(row->name) + " needs a value (" + row->valueName + ")");
                return false;
            }
            continue;
        }
        // One or more letters: flags may be joined; a letter that takes a
        // value takes the rest of the argument, or the next one.
        for (size_t k = 1; k < arg.size(); ++k) {
            const OptionRow* row = FindLetter(syntax, arg[k]);
            if (!row) {
                error = Prefixed(syntax, "unknown option -" + ToUtf8(arg.substr(k, 1)));
                return false;
            }
            if (row == &helpRow)
                return parsed.given.push_back({row->name, {}}), true;
            if (!row->valueName) {
                parsed.given.push_back({row->name, {}});
                continue;
            }
            if (k + 1 < arg.size()) {
                parsed.given.push_back({row->name, arg.substr(k + 1)});
            } else if (i + 1 < args.size()) {
                parsed.given.push_back({row->name, args[++i]});
            } else {
                error = Prefixed(syntax, std::string("-") + row->letter + " needs a value (" + row->valueName + ")");
                return false;
            }
            break;
        }
    }
    if (parsed.operands.size() < syntax.minimumOperands) {
        error = Prefixed(syntax, std::string("missing ") + syntax.operands);
        return false;
    }
    if (parsed.operands.size() > syntax.maximumOperands) {
        error = Prefixed(syntax, "too many arguments (unexpected " + ToUtf8(parsed.operands[syntax.maximumOperands]) +
                                     ")");
        return false;
    }
    return true;
}

void PrintCommandUsage(FILE* out, const CommandSyntax& syntax, bool full)
{
    std::fprintf(out, "usage: trellan %s%s%s%s\n", syntax.name, syntax.optionCount ? " [OPTIONS]" : "",
                 *syntax.operands ? " " : "", syntax.operands);
    if (!full) {
        std::fprintf(out, "Try 'trellan %s --help' for more.\n", syntax.name);
        return;
    }
    std::fprintf(out, "\n%s\n\noptions:\n", Wrapped(syntax.summary, 0, 0).c_str());
    auto printRow = [out](const OptionRow& row) {
        constexpr size_t helpColumn = 27;
        std::string left = row.letter ? std::string("-") + row.letter + ", " : std::string("    ");
        left += row.name;
        if (row.valueName)
            left += std::string(" ") + row.valueName;
        left = "  " + left;
        // A long option's help begins on the next line.
        left += left.size() + 1 > helpColumn ? "\n" + std::string(helpColumn, ' ')
                                             : std::string(helpColumn - left.size(), ' ');
        std::fprintf(out, "%s%s\n", left.c_str(), Wrapped(row.help, helpColumn, helpColumn).c_str());
    };
    for (size_t i = 0; i < syntax.optionCount; ++i)
        printRow(syntax.options[i]);
    printRow(helpRow);
    std::fprintf(out, "\n%s\n", exitStatusLine);
}

bool ParseNumber(const std::u16string& text, unsigned long minimum, unsigned long maximum, unsigned long& number)
{
    if (text.empty())
        return false;
    unsigned long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return false;
        const unsigned long digit = c - u'0';
        if (value > (maximum - digit) / 10)
            return false;  // over the maximum, and never wrapped around (32 bits on Windows)
        value = value * 10 + digit;
    }
    if (value < minimum || value > maximum)
        return false;
    number = value;
    return true;
}

bool ReadNumberOption(const ParsedArguments& parsed, const char* command, const char* name, unsigned long maximum,
                      unsigned long& number, unsigned long minimum)
{
    const std::u16string* text = parsed.Value(name);
    if (!text || ParseNumber(*text, minimum, maximum, number))
        return true;
    std::fprintf(stderr, "trellan %s: %s needs a number from %lu to %lu, not '%s'\n", command, name, minimum, maximum,
                 ToUtf8(*text).c_str());
    return false;
}

}  // namespace host
