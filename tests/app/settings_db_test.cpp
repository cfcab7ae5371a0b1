#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#include <cstdlib>

#include "app/settings_db.h"
#include "effects/caption_record.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_media.h"

namespace {
// The store's files go to a home of the test's own.
class TemporaryHome : public ::testing::Environment {
public:
    void SetUp() override {
        home_ = std::make_unique<ScratchDir>();
        setenv("HOME", home_->file("").c_str(), 1);
        setenv("XDG_CONFIG_HOME", home_->file("config").c_str(), 1);
    }
    void TearDown() override { home_.reset(); }

private:
    std::unique_ptr<ScratchDir> home_;
};
const auto* const g_home = ::testing::AddGlobalTestEnvironment(new TemporaryHome);

// What a second process reads from the store's file for `key`.
std::string readInAnotherProcess(const QString& key) {
    ChildProcess reader;
    reader.fork([key](int out) -> int {
        QSettings other(QSettings::NativeFormat, QSettings::UserScope, "LumoraBox", "Lumora");
        QVariant value = other.value(key);
        writeAll(out, (value.isValid() ? value.toString().toStdString() : "<missing>") + "\n");
        return 0;
    });
    std::string line;
    reader.readLine(&line);
    reader.wait();
    return line;
}
}  // namespace

TEST(SettingsDbTest, SlotsAreNamedWithoutLeadingZerosAndReachTheDisk) {
    SettingsDb* store = SettingsDb::instance();
    EXPECT_EQ(store, SettingsDb::instance());
    EXPECT_EQ(SettingsDb::slotKey(3), "effect_3");
    EXPECT_EQ(SettingsDb::slotKey(12), "effect_12");
    store->saveValue(3, 7);
    QVariant value;
    store->loadValue(3, value);
    EXPECT_EQ(value.toInt(), 7);
    store->loadValue(99, value);
    EXPECT_TRUE(value.isNull()) << "a slot never written";
    EXPECT_EQ(readInAnotherProcess("effect_3"), "7");
    EXPECT_EQ(readInAnotherProcess("effect_03"), "<missing>");
}

TEST(SettingsDbTest, MapsKeepColonsAndSemicolonsAndRefuseWhatTheyCannotHold) {
    SettingsDb* store = SettingsDb::instance();
    QMap<QString, QString> map{{"cam1", "2"}, {"a:b", "c;d"}, {"faceopen", "1"}};
    ASSERT_TRUE(store->saveMap(4, map));
    EXPECT_EQ(readInAnotherProcess("effect_4"), "a&nbcpb:c&nbcod;cam1:2;faceopen:1;")
        << "key order, escapes, a final ';'";
    QMap<QString, QString> back{{"stale", "x"}};
    store->loadMap(4, back);
    EXPECT_EQ(back, map) << "and the out-parameter was cleared first";

    LogCapture log;
    for (const auto& refused : std::vector<QMap<QString, QString>>{
             {{"x", "has &nbcp inside"}}, {{"&nbco", "1"}}, {{"empty", ""}}, {{"", "1"}}}) {
        EXPECT_FALSE(store->saveMap(4, refused));
    }
    EXPECT_EQ(log.lines().size(), 4u);
    store->loadMap(4, back);
    EXPECT_EQ(back, map) << "a refused save keeps what was stored";

    // What the format itself leaves out: pieces that do not split in two.
    EXPECT_EQ(SettingsDb::decodeMap("a:1;:2;b:;c:3;d:4:5;;"),
              (QMap<QString, QString>{{"a", "1"}, {"c", "3"}}));
    EXPECT_EQ(SettingsDb::decodeMap("a:1;a:2;"), (QMap<QString, QString>{{"a", "2"}}));
    store->loadMap(98, back);
    EXPECT_TRUE(back.isEmpty());
}

TEST(SettingsDbTest, ListsKeepEmptyItemsAndLeaveOutOnlyItemsWithSemicolons) {
    SettingsDb* store = SettingsDb::instance();
    QStringList videos{"/home/me/a.mp4", "", "/home/me/中文 名.mp4"};
    ASSERT_TRUE(store->saveStringList("Videos", videos));
    QStringList back{"stale"};
    store->loadStringList("Videos", back);
    EXPECT_EQ(back, videos);
    EXPECT_EQ(readInAnotherProcess("Videos"), "/home/me/a.mp4;;/home/me/中文 名.mp4");

    ASSERT_TRUE(store->saveStringList("Pics", {}));
    store->loadStringList("Pics", back);
    EXPECT_TRUE(back.isEmpty());

    LogCapture log;
    EXPECT_FALSE(store->saveStringList("Videos", {""}));
    EXPECT_EQ(log.lines().size(), 1u);
    store->loadStringList("Videos", back);
    EXPECT_EQ(back, videos) << "the refused list left the stored one alone";

    // One file name with ';' among others: it alone is left out, and later
    // changes are stored as well.
    EXPECT_FALSE(
        store->saveStringList("Videos", {"/home/me/b.mp4", "/home/me/a;b.mp4", "/home/me/c.mp4"}));
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines().back().find("a;b.mp4"), std::string::npos) << "the log names it";
    EXPECT_EQ(readInAnotherProcess("Videos"), "/home/me/b.mp4;/home/me/c.mp4");
    EXPECT_FALSE(store->saveStringList("Videos", {"/home/me/a;b.mp4", "/home/me/d.mp4"}));
    store->loadStringList("Videos", back);
    EXPECT_EQ(back, QStringList{"/home/me/d.mp4"});
    store->loadStringList("never_written", back);
    EXPECT_TRUE(back.isEmpty());
}

TEST(SettingsDbTest, TheCaptionRecordRoundTripsThroughTheStore) {
    SettingsDb* store = SettingsDb::instance();
    CaptionRecord record;
    record.bopen = true;
    record.text = "a:b;c";
    record.font = "Noto Sans CJK SC";
    store->saveValue(2, encodeCaptionRecord(record));
    EXPECT_NE(readInAnotherProcess("effect_2").find("szText:a&nbnbb&nbcbc;"), std::string::npos);
    QVariant value;
    store->loadValue(2, value);
    CaptionRecord back = decodeCaptionRecord(value.toString(), CaptionRecord{});
    EXPECT_TRUE(back.bopen);
    EXPECT_EQ(back.text, "a:b;c");
}

TEST(SettingsDbTest, TheDataFolderIsMadeOnceUnderDocuments) {
    QString path = SettingsDb::dataPath();
    EXPECT_TRUE(path.endsWith("/LumoraBox"));
    EXPECT_TRUE(QDir(path).exists());
    EXPECT_EQ(SettingsDb::dataPath(), path);
}
