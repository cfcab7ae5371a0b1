#include "base/language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/test_media.h"

TEST(LanguageTest, ChineseForChineseLocalesEnglishForEveryOther) {
    for (const char* chinese :
         {"zh_CN.UTF-8", "zh_TW", "zh", "ZH_hk", "zh_SG.GB18030", "zh@pinyin"}) {
        EXPECT_EQ(languageOfLocale(chinese), Language::Chinese) << chinese;
    }
    for (const char* other : {"C", "POSIX", "", "en_US.UTF-8", "de_DE", "zha_CN", "ja_JP"}) {
        EXPECT_EQ(languageOfLocale(other), Language::English) << other;
    }
}

TEST(LanguageTest, TheOverrideBeatsTheStoredChoiceWhichBeatsTheLocale) {
    EXPECT_EQ(chooseLanguage("en", "zh", "zh_CN.UTF-8"), Language::English);
    EXPECT_EQ(chooseLanguage("zh", "en", "de_DE"), Language::Chinese);
    EXPECT_EQ(chooseLanguage(nullptr, "en", "zh_CN.UTF-8"), Language::English);
    EXPECT_EQ(chooseLanguage(nullptr, "zh", "fr_FR"), Language::Chinese);
    EXPECT_EQ(chooseLanguage(nullptr, "", "zh_CN.UTF-8"), Language::Chinese);
    // Names of neither language are passed over, not taken for English.
    EXPECT_EQ(chooseLanguage("klingon", "", "zh_CN.UTF-8"), Language::Chinese);
    EXPECT_EQ(chooseLanguage("", "fr", "zh_TW"), Language::Chinese);
    EXPECT_STREQ(languageCode(Language::Chinese), "zh");
    EXPECT_STREQ(languageCode(Language::English), "en");
}

TEST(LanguageTest, AProgramWithoutQtReadsTheStoredChoiceAndTheEnvironment) {
    ScratchDir home;
    std::filesystem::create_directories(home.file("LumoraBox"));
    setenv("XDG_CONFIG_HOME", home.file("").c_str(), 1);
    unsetenv("LUMORA_LANG");
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    EXPECT_EQ(storedLanguageChoice(), "") << "no settings file yet";
    EXPECT_EQ(programLanguage(), Language::Chinese);
    {
        // As QSettings writes it: other groups may hold the same key.
        std::ofstream settings(home.file("LumoraBox/Lumora.conf"));
        settings << "[Other]\nlanguage=zh\n\n[General]\noutput_mode=640x480@15\r\nlanguage=en\r\n";
    }
    EXPECT_EQ(storedLanguageChoice(), "en");
    EXPECT_EQ(programLanguage(), Language::English);
    EXPECT_EQ(announcedLanguage(), Language::Chinese) << "the program announced none";
    setenv("LUMORA_LANG", "zh", 1);
    EXPECT_EQ(programLanguage(), Language::Chinese);
    setenv("LUMORA_LANG", "en", 1);
    EXPECT_EQ(announcedLanguage(), Language::English);
    unsetenv("LUMORA_LANG");
    unsetenv("LC_ALL");
    setenv("LC_MESSAGES", "de_DE", 1);
    EXPECT_EQ(environmentLocale(), "de_DE");
    unsetenv("LC_MESSAGES");
}
