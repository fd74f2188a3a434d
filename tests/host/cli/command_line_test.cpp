// The command line: option tables, usage errors before anything runs, help,
// and text as it goes to people and to JSON.
#include "support/command_run.h"
#include "cli/options.h"
#include "support/text.h"
#include "text/text_escape.h"

#include <gtest/gtest.h>

namespace trellan::test {
namespace {

const host::OptionRow sampleOptions[] = {
    {"--json", 0, nullptr, ""},
    {"--jobs", 'j', "N", ""},
    {"--null", '0', nullptr, ""},
    {"--quiet", 'q', nullptr, ""},
};
const host::CommandSyntax sampleSyntax = {"sample", "FILE...", "", sampleOptions, 4, 1, 3};

TEST(Options, ParsedAgainstTheCommandsTable)
{
    struct Case {
        host::Arguments args;
        const char* error;  // null: accepted
        size_t operands;
        const char16_t* jobs;  // the value of --jobs, or null
    };
    const Case cases[] = {
        {{u"a.mp3"}, nullptr, 1, nullptr},
        {{u"-j", u"4", u"a.mp3"}, nullptr, 1, u"4"},
        {{u"-j4", u"a.mp3"}, nullptr, 1, u"4"},
        {{u"--jobs=2", u"--jobs", u"3", u"a.mp3"}, nullptr, 1, u"3"},  // the last one counts
        {{u"-q0", u"a", u"b"}, nullptr, 2, nullptr},                     // joined flags
        {{u"--", u"-q", u"--json"}, nullptr, 2, nullptr},              // "--" ends the options
        {{u"-"}, nullptr, 1, nullptr},                                 // standard input is an operand
        {{u"-j", u"x.mp3"}, "missing FILE...", 0, nullptr},            // -j took the file
        {{u"a", u"-j"}, "-j needs a value (N)", 0, nullptr},
        {{u"--jobs"}, "--jobs needs a value (N)", 0, nullptr},
        {{u"--json=1", u"a"}, "--json takes no value", 0, nullptr},
        {{u"--colour", u"a"}, "unknown option --colour", 0, nullptr},
        {{u"-x", u"a"}, "unknown option -x", 0, nullptr},
        {{}, "missing FILE...", 0, nullptr},
        {{u"a", u"b", u"c", u"d"}, "too many arguments (unexpected d)", 0, nullptr},
        {{u"--bad", u"--help"}, "unknown option --bad", 0, nullptr},
    };
    for (const Case& row : cases) {
        host::ParsedArguments parsed;
        std::string error;
        const bool accepted = host::ParseArguments(row.args, sampleSyntax, parsed, error);
        SCOPED_TRACE(row.error ? row.error : "accepted");
        if (!row.error) {
            EXPECT_TRUE(accepted) << error;
            EXPECT_EQ(parsed.Operands().size(), row.operands);
            const std::u16string* jobs = parsed.Value("--jobs");
            EXPECT_EQ(jobs ? *jobs : std::u16string(u"none"), row.jobs ? row.jobs : u"none");
        } else {
            EXPECT_FALSE(accepted);
            EXPECT_EQ(error, std::string("trellan sample: ") + row.error);
        }
    }
    host::ParsedArguments parsed;
    std::string error;
    ASSERT_TRUE(host::ParseArguments({u"-h", u"--bad"}, sampleSyntax, parsed, error));  // help needs nothing else
    EXPECT_TRUE(parsed.Has("--help"));
}

TEST(CommandLine, UsageErrorsHelpAndExitCodes)
{
    struct Case {
        host::Arguments args;
        int exitCode;
    };
    const Case cases[] = {
        {{}, 2},
        {{u"--help"}, 0},
        {{u"frobnicate"}, 2},
        {{u"--colour"}, 2},
        {{u"--registry"}, 2},
        {{u"reg"}, 2},                                 // no subcommand: its usage
        {{u"reg", u"--help"}, 0},
        {{u"reg", u"rename"}, 2},
        {{u"register", u"--help"}, 0},                 // not a module named --help
        {{u"register", u"a.so", u"b.so"}, 2},
        {{u"dump", u"--help"}, 0},
        {{u"dump"}, 2},                                // nothing to filter
        {{u"dump", u"-j", u"x.mp3"}, 2},               // -j is not a file
        {{u"dump", u"-j", u"0", u"x.mp3"}, 2},
        {{u"dump", u"-j", u"4294967298", u"x.mp3"}, 2},  // would wrap to 2 in 32 bits
        {{u"dump", u"--buffer", u"many", u"x.mp3"}, 2},
        {{u"script", u"run"}, 2},
        {{u"script", u"run", u"a", u"--set", u"=x"}, 2},
        // --registry is global, before or after the command's name.
        {{u"register", u"--registry", u":memory:", u"--help"}, 0},
        {{u"reg", u"export", u"--registry=:memory:", u"--help"}, 0},
        {{u"dump", u"x.mp3", u"--registry"}, 2},
        {{u"--registry=", u"dump"}, 2},
        {{u"dump", u"--", u"--registry", u"x"}, 1},  // after "--", files; neither is there
    };
    for (const Case& row : cases) {
        std::string joined;
        for (const std::u16string& arg : row.args)
            joined += Utf8(arg) + " ";
        const CommandRun run = Trellan(row.args);
        EXPECT_EQ(run.code, row.exitCode) << joined << run.err;
        // Help goes to standard output, usage errors to standard error.
        if (run.code != 1) {
            EXPECT_NE((run.code == 0 ? run.out : run.err).find("usage: trellan"), std::string::npos) << joined;
        }
    }
}

TEST(CommandLine, HelpFitsEightyColumns)
{
    const host::Arguments commands[] = {{}, {u"dump"}, {u"index"}, {u"search"}, {u"register"}, {u"unregister"},
                                        {u"reg", u"export"}, {u"reg", u"import"}, {u"script", u"run"}};
    for (host::Arguments args : commands) {
        args.push_back(u"--help");
        const CommandRun run = Trellan(args);
        ASSERT_EQ(run.code, 0) << run.err;
        size_t lines = 0;
        for (size_t start = 0, end; start < run.out.size(); start = end + 1, ++lines) {
            end = run.out.find('\n', start);
            const std::u16string line = Utf16(run.out.substr(start, end - start));
            EXPECT_LE(line.size(), 80u) << Utf8(line);
        }
        EXPECT_GT(lines, 3u);
    }
}

TEST(TextEscape, JsonAndTerminalNeverPassControlsOrLoseUnits)
{
    struct Case {
        std::u16string text;
        const char* json;
        const char* terminal;
    };
    const Case cases[] = {
        {u"plain ASCII", "plain ASCII", "plain ASCII"},
        {u"quote \" and back\\slash", "quote \\\" and back\\\\slash", "quote \" and back\\slash"},
        {u"tab\tnew\nline\r", "tab\\tnew\\nline\\r", "tab\\tnew\\nline\\r"},
        {u"esc\x1b[31m bell\x07 del\x7f", "esc\\u001b[31m bell\\u0007 del\\u007f", "esc\\u001b[31m bell\\u0007 del\\u007f"},
        {u"C1 \u0085\u009b end", "C1 \\u0085\\u009b end", "C1 \\u0085\\u009b end"},
        {u"caf\u00e9 \u6771\u4eac \U0001F600", "caf\xc3\xa9 \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x98\x80"},
        {std::u16string(u"byte ") + char16_t(0xDCFF) + u" lone " + char16_t(0xD800), "byte \\udcff lone \\ud800",
         "byte \\udcff lone \\ud800"},
        {std::u16string(u"nul\0in", 6), "nul\\u0000in", "nul\\u0000in"},
    };
    for (const Case& row : cases) {
        std::string json, terminal;
        host::AppendEscaped(json, row.text, host::Escaping::json);
        host::AppendEscaped(terminal, row.text, host::Escaping::terminal);
        EXPECT_EQ(json, row.json);
        EXPECT_EQ(terminal, row.terminal);
    }
    // A long value of escapes grows past the first guess of its size.
    std::string many;
    host::AppendEscaped(many, std::u16string(10000, u'\x01'), host::Escaping::json);
    EXPECT_EQ(many.size(), 60000u);
}

TEST(TextConversion, FileSystemNamesSurviveTheTripThroughUtf16)
{
    const std::string names[] = {"plain.mp3", "caf\xc3\xa9.mp3", "latin1 caf\xe9.mp3", "\xff\xfe.wma",
                                 "cut \xe6\x9d.mp3", "surrogate \xed\xa0\x80.asf", "overlong \xc0\xaf.wmv"};
    for (const std::string& name : names) {
        WCHAR wide[64];
        const int units = MultiByteToWideChar(CP_ACP, 0, name.data(), int(name.size()), wide, 64);
        ASSERT_GT(units, 0) << name;
        char back[64];
        const int bytes = WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, wide, units, back, 64, nullptr, nullptr);
        EXPECT_EQ(std::string(back, bytes > 0 ? bytes : 0), name);
        // CP_UTF8 stays the platform's: what does not decode is U+FFFD.
        WCHAR strict[64];
        const int strictUnits = MultiByteToWideChar(CP_UTF8, 0, name.data(), int(name.size()), strict, 64);
        for (int i = 0; i < strictUnits; ++i)
            EXPECT_FALSE(strict[i] >= 0xD800 && strict[i] < 0xE000) << name;
    }
    // A lone surrogate that is no escaped byte names no file.
    const WCHAR lone[] = {u'a', 0xD800, 0};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, lone, -1, nullptr, 0, nullptr, nullptr), 0);
    // ... and the file calls say so; an empty name is a path not found.
    const WCHAR empty[] = {0};
    for (const WCHAR* name : {lone, empty}) {
        const DWORD expected = name == lone ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND;
        WIN32_FIND_DATAW found;
        EXPECT_EQ(FindFirstFileW(name, &found), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), expected);
        EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), expected);
        EXPECT_EQ(CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), expected);
    }
}

}  // namespace
}  // namespace trellan::test
