#include "platform/RegionalSettingsReader.h"

#include <windows.h>

#include "platform/CodePage.h"
#include "platform/windows/LocaleSettings.h"
#include "platform/windows/WindowsText.h"

namespace vr {
namespace win {
namespace {

// The first character (UTF-8) of a locale value, or fallback when the locale has none.
std::string FirstCharacter(LCID locale, LCTYPE item, const std::string& fallback) {
    wchar_t value[16] = {};  // the separators are at most 4 characters long
    int length = GetLocaleInfoW(locale, item, value, 16);
    if (length <= 1) return fallback;  // the length counts the terminating NUL
    bool pair = value[0] >= 0xD800 && value[0] <= 0xDBFF && value[1] >= 0xDC00 && value[1] <= 0xDFFF;
    return Narrow(std::wstring_view(value, pair ? 2 : 1));
}

}  // namespace

std::string CodePageName(UINT codePage) {
    if (codePage == 1252) return "WINDOWS-1252";
    if (codePage == CP_UTF8) return "UTF-8";
    return "CP" + std::to_string(codePage);
}

RegionalSettings SettingsOf(LCID locale, UINT ansiCodePage) {
    RegionalSettings settings;
    settings.decimalSeparator = FirstCharacter(locale, LOCALE_SDECIMAL, settings.decimalSeparator);
    settings.dateSeparator = FirstCharacter(locale, LOCALE_SDATE, settings.dateSeparator);
    settings.timeSeparator = FirstCharacter(locale, LOCALE_STIME, settings.timeSeparator);
    // A code page the converter cannot use would leave the log unwritable: UTF-8 stands in.
    std::string name = CodePageName(ansiCodePage);
    if (codepage::IsKnown(name)) settings.ansiCodePage = name;
    return settings;
}

}  // namespace win

RegionalSettings ReadRegionalSettings() { return win::SettingsOf(LOCALE_USER_DEFAULT, GetACP()); }

}  // namespace vr
