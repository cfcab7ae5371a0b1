#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_media.h"

// The English translation against the sources as they are: lupdate, run over
// a copy of lang/lumora_en.ts, finds no text without a translation (new
// texts come in "unfinished") and none that the sources no longer have
// ("vanished" or "obsolete"), and every translation is written out.
namespace {
struct Entry {
    std::string context, source, translation, type;
};

std::vector<Entry> entriesOf(const QString& path) {
    std::vector<Entry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return entries;
    }
    QXmlStreamReader xml(&file);
    std::string context;
    Entry entry;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText().toStdString();
        } else if (xml.name() == u"message") {
            entry = {context, "", "", ""};
        } else if (xml.name() == u"source") {
            entry.source = xml.readElementText().toStdString();
        } else if (xml.name() == u"translation") {
            entry.type = xml.attributes().value("type").toString().toStdString();
            entry.translation = xml.readElementText().toStdString();
            entries.push_back(entry);
        }
    }
    return entries;
}
}  // namespace

TEST(TranslationTest, EveryTextOfTheSourcesHasItsEnglishAndNoOtherIsLeft) {
    ScratchDir scratch;
    const std::string copy = scratch.file("lumora_en.ts");
    std::filesystem::copy_file(LUMORA_SOURCE_DIR "/lang/lumora_en.ts", copy);
    std::string command = std::string(LUMORA_LUPDATE) + " -locations none -source-language zh_CN" +
                          " -target-language en -I " + LUMORA_SOURCE_DIR;
    for (const char* folder : {LUMORA_TRANSLATED_FOLDERS}) {
        command += std::string(" ") + LUMORA_SOURCE_DIR + "/" + folder;
    }
    std::string said = commandOutput(command + " -ts " + copy + " 2>&1");
    EXPECT_NE(said.find("0 new and"), std::string::npos) << said;

    std::vector<Entry> entries = entriesOf(QString::fromStdString(copy));
    EXPECT_GT(entries.size(), 130u);
    for (const Entry& entry : entries) {
        EXPECT_TRUE(entry.type.empty())
            << entry.context << " \"" << entry.source << "\" is " << entry.type;
        EXPECT_FALSE(entry.translation.empty()) << entry.context << " \"" << entry.source << "\"";
    }
    EXPECT_EQ(contentsOf(copy), contentsOf(LUMORA_SOURCE_DIR "/lang/lumora_en.ts"))
        << "lupdate left the file as it is committed (run the lumora_lupdate target)";
}
