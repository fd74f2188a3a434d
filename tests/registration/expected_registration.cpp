#include "registration/expected_registration.h"

#include <fstream>
#include <stdexcept>

namespace trellan::test {
namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

RegistryMap ExpectedRegistration(const std::string& modulePath)
{
    std::ifstream table(TRELLAN_EXPECTED_REGISTRATION);
    if (!table)
        throw std::runtime_error("cannot read " + std::string(TRELLAN_EXPECTED_REGISTRATION));
    const std::string helpDirectory = modulePath.substr(0, modulePath.find_last_of("/\\") + 1);

    RegistryMap expected;
    std::string line;
    while (std::getline(table, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == '@')
            continue;
        const size_t first = line.find('|');
        const size_t second = line.find('|', first + 1);
        const std::string key = "HKCR\\" + line.substr(0, first);
        const std::string name = line.substr(first + 1, second - first - 1);
        const std::string data =
            Replace(Replace(line.substr(second + 1), "%MODULE%", modulePath), "%HELPDIR%", helpDirectory);
        for (size_t separator = key.find('\\', 5); separator != std::string::npos;
             separator = key.find('\\', separator + 1))
            expected[key.substr(0, separator)] = "key";
        expected[key] = "key";
        if (!name.empty() || !data.empty())
            expected[key + ":" + (name.empty() ? "@" : name)] = "sz:" + data;
    }
    return expected;
}

std::vector<ReplacedHandler> ReplacedHandlers()
{
    std::ifstream table(TRELLAN_EXPECTED_REGISTRATION);
    std::vector<ReplacedHandler> rows;
    std::string line;
    while (std::getline(table, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] != '@')
            continue;
        const size_t first = line.find('|');
        const size_t second = line.find('|', first + 1);
        rows.push_back({line.substr(1, first - 1), line.substr(first + 1, second - first - 1),
                        line.substr(second + 1)});
    }
    return rows;
}

RegistryMap ExpectedAfterUnregistration()
{
    RegistryMap expected;
    for (const char* key : {"HKCR\\CLSID", "HKCR\\.mp3", "HKCR\\.wma", "HKCR\\.wmv", "HKCR\\.asf", "HKCR\\TypeLib"})
        expected[key] = "key";
    return expected;
}

}  // namespace trellan::test
