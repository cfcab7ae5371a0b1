#pragma once

#include <string>
#include <string_view>

// The two languages Lumora speaks. Chinese is the one its texts are written
// in; English is the translation.
enum class Language { Chinese, English };

// "zh" or "en".
const char* languageCode(Language language);

// The language a choice names ("zh", "zh_CN", "en", "en_GB", any case);
// false when it names neither, *language then untouched.
bool languageNamed(std::string_view name, Language* language);

// The language Lumora speaks on a desktop of that locale ("zh_CN.UTF-8",
// "de_DE", "C"): Chinese for any Chinese locale, English for every other.
Language languageOfLocale(std::string_view locale);

// Which language to speak: LUMORA_LANG when it names one, else the choice
// stored in the settings (the tray menu's), else the desktop's locale.
Language chooseLanguage(const char* override, std::string_view stored, std::string_view locale);

// For programs without Qt: the locale the C library's environment names
// (LC_ALL, LC_MESSAGES, LANG, the first that is set), and the choice stored
// in the settings file ("language" in $XDG_CONFIG_HOME/LumoraBox/Lumora.conf,
// where Qt keeps the settings store); empty when there is none.
std::string environmentLocale();
std::string storedLanguageChoice();

// What a program without Qt speaks: chooseLanguage over the above.
Language programLanguage();

// The language the running program announced in LUMORA_LANG when it chose
// one at start; Chinese, the texts' own, when it announced none (as in
// tests that build its parts without starting it).
Language announcedLanguage();
