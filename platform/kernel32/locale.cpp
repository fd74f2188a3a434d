// GetSystemDefaultLCID from the process's locale settings, read anew at
// every call so that a changed environment shows at once.
#include <win32/kernel32.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

struct LocaleRow {
    const char* name;  // language, or language_TERRITORY
    LCID lcid;
};

// Longer names first within a language, so that "de_AT" wins over "de".
const LocaleRow localeTable[] = {
    {"ar_SA", 0x0401}, {"bg_BG", 0x0402}, {"ca_ES", 0x0403}, {"zh_TW", 0x0404}, {"cs_CZ", 0x0405},
    {"da_DK", 0x0406}, {"de_DE", 0x0407}, {"el_GR", 0x0408}, {"en_US", 0x0409}, {"es_ES", 0x0C0A},
    {"fi_FI", 0x040B}, {"fr_FR", 0x040C}, {"he_IL", 0x040D}, {"hu_HU", 0x040E}, {"is_IS", 0x040F},
    {"it_IT", 0x0410}, {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"nl_NL", 0x0413}, {"nb_NO", 0x0414},
    {"pl_PL", 0x0415}, {"pt_BR", 0x0416}, {"ro_RO", 0x0418}, {"ru_RU", 0x0419}, {"hr_HR", 0x041A},
    {"sk_SK", 0x041B}, {"sv_SE", 0x041D}, {"th_TH", 0x041E}, {"tr_TR", 0x041F}, {"uk_UA", 0x0422},
    {"sl_SI", 0x0424}, {"et_EE", 0x0425}, {"lv_LV", 0x0426}, {"lt_LT", 0x0427}, {"vi_VN", 0x042A},
    {"hi_IN", 0x0439}, {"zh_CN", 0x0804}, {"de_CH", 0x0807}, {"en_GB", 0x0809}, {"es_MX", 0x080A},
    {"fr_BE", 0x080C}, {"it_CH", 0x0810}, {"nl_BE", 0x0813}, {"pt_PT", 0x0816}, {"sv_FI", 0x081D},
    {"de_AT", 0x0C07}, {"en_AU", 0x0C09}, {"fr_CA", 0x0C0C}, {"en_CA", 0x1009}, {"fr_CH", 0x100C},
    {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009},
};

const char* LocaleSetting()
{
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return nullptr;
}

}  // namespace

extern "C" LCID WINAPI GetSystemDefaultLCID()
{
    const LCID usEnglish = 0x0409;
    const char* setting = LocaleSetting();
    if (!setting || std::strcmp(setting, "C") == 0 || std::strcmp(setting, "POSIX") == 0 ||
        std::strncmp(setting, "C.", 2) == 0)
        return usEnglish;

    // "de_AT.UTF-8@euro" -> "de_AT"
    size_t length = std::strcspn(setting, ".@");
    for (const LocaleRow& row : localeTable)
        if (std::strlen(row.name) == length && std::strncmp(row.name, setting, length) == 0)
            return row.lcid;
    // Unknown territory: the language's first row.
    size_t languageLength = std::strcspn(setting, "_.@");
    for (const LocaleRow& row : localeTable)
        if (std::strncmp(row.name, setting, languageLength) == 0 && row.name[languageLength] == '_')
            return row.lcid;
    return usEnglish;
}
