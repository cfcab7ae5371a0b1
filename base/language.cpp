#include "base/language.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace {
std::string lowered(std::string_view text) {
    std::string low(text);
    for (char& c : low) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return low;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// "zh", or "zh" followed by a separator of a locale name.
bool isLanguage(std::string_view low, std::string_view code) {
    if (!startsWith(low, code)) {
        return false;
    }
    return low.size() == code.size() || low[code.size()] == '_' || low[code.size()] == '-' ||
           low[code.size()] == '.' || low[code.size()] == '@';
}

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}
}  // namespace

const char* languageCode(Language language) { return language == Language::Chinese ? "zh" : "en"; }

bool languageNamed(std::string_view name, Language* language) {
    std::string low = lowered(name);
    if (isLanguage(low, "zh")) {
        *language = Language::Chinese;
        return true;
    }
    if (isLanguage(low, "en")) {
        *language = Language::English;
        return true;
    }
    return false;
}

Language languageOfLocale(std::string_view locale) {
    return isLanguage(lowered(locale), "zh") ? Language::Chinese : Language::English;
}

Language chooseLanguage(const char* override, std::string_view stored, std::string_view locale) {
    Language chosen = Language::English;
    if (override != nullptr && languageNamed(override, &chosen)) {
        return chosen;
    }
    if (languageNamed(stored, &chosen)) {
        return chosen;
    }
    return languageOfLocale(locale);
}

std::string environmentLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = environment(name)) {
            return value;
        }
    }
    return "C";
}

std::string storedLanguageChoice() {
    std::string folder;
    if (const char* config = environment("XDG_CONFIG_HOME")) {
        folder = config;
    } else if (const char* home = environment("HOME")) {
        folder = std::string(home) + "/.config";
    } else {
        return {};
    }
    std::ifstream settings(folder + "/LumoraBox/Lumora.conf");
    std::string line;
    bool general = false;
    while (std::getline(settings, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (startsWith(line, "[")) {
            general = line == "[General]";
        } else if (general && startsWith(line, "language=")) {
            return line.substr(9);
        }
    }
    return {};
}

Language programLanguage() {
    return chooseLanguage(environment("LUMORA_LANG"), storedLanguageChoice(), environmentLocale());
}

Language announcedLanguage() {
    Language language = Language::Chinese;
    if (const char* announced = environment("LUMORA_LANG")) {
        languageNamed(announced, &language);
    }
    return language;
}
