#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "app/settings_db.h"
#include "effects/caption_record.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_media.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << "[" << list.join(", ").toStdString() << "]";
}

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

TEST(SettingsDbTest, ListsWithoutSemicolonsAreStoredJoinedAsEveryVersionStoredThem) {
    SettingsDb* store = SettingsDb::instance();
    QStringList videos{"/home/me/a.mp4", "", "/home/me/中文 名.mp4", "/home/me/100%.mp4"};
    store->saveStringList("Videos", videos);
    QStringList back{"stale"};
    store->loadStringList("Videos", back);
    EXPECT_EQ(back, videos);
    EXPECT_EQ(readInAnotherProcess("Videos"),
              "/home/me/a.mp4;;/home/me/中文 名.mp4;/home/me/100%.mp4");

    store->saveStringList("Pics", {});
    store->loadStringList("Pics", back);
    EXPECT_TRUE(back.isEmpty());
    store->loadStringList("never_written", back);
    EXPECT_TRUE(back.isEmpty());

    // Written by an older version: names with '%' (even ones that look
    // escaped) and empty items read back as they were.
    {
        QSettings old(QSettings::NativeFormat, QSettings::UserScope, "LumoraBox", "Lumora");
        old.setValue("myvideo_list", "/home/me/50%.flv;/home/me/a%3Bb%25.flv;;/home/me/c.flv");
    }
    store->loadStringList("myvideo_list", back);
    EXPECT_EQ(back,
              (QStringList{"/home/me/50%.flv", "/home/me/a%3Bb%25.flv", "", "/home/me/c.flv"}));
    EXPECT_EQ(SettingsDb::decodeList(";/home/me/c.flv"), (QStringList{"", "/home/me/c.flv"}));
}

// Every name a Linux file system takes survives a save and a load: made as
// real files first, so each is a name that exists.
TEST(SettingsDbTest, ListsKeepEveryNameAFileSystemAllows) {
    ScratchDir folder;
    std::string longName = "my;clip 中文 %3B";
    longName += std::string(255 - longName.size(), 'x');
    ASSERT_EQ(longName.size(), 255u);
    QStringList paths;
    for (const std::string& name :
         {std::string("my;clip 中文.mp4"), std::string("100%;.mp4"), std::string("a%3Bb%25"),
          std::string("back\\slash;"), std::string("two\nlines;.png"),
          std::string("  spaces around ;  "), std::string("中文;名字.flv"), std::string(";"),
          std::string("%"), longName}) {
        std::string path = folder.file(name);
        std::ofstream(path) << "x";
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
        paths << QString::fromStdString(path);
    }
    paths << "";  // an empty item among them
    EXPECT_TRUE(paths[4].contains('\n'));

    SettingsDb* store = SettingsDb::instance();
    store->saveStringList("Videos", paths);
    QStringList back;
    store->loadStringList("Videos", back);
    EXPECT_EQ(back, paths);
    for (int i = 0; i + 1 < back.size(); ++i) {
        EXPECT_TRUE(QFileInfo(back[i]).isFile()) << back[i].toStdString();
    }

    // The stored form: a NUL item first, then '%' and ';' escaped.
    store->saveStringList("Pics", {"/p/a;b", "/p/50%", "/p/c"});
    EXPECT_EQ(readInAnotherProcess("Pics"), std::string("\0;/p/a%3Bb;/p/50%25;/p/c", 24));
    store->loadStringList("Pics", back);
    EXPECT_EQ(back, (QStringList{"/p/a;b", "/p/50%", "/p/c"}));

    // Lists that joining alone would change: one empty item, a first item
    // that starts as the escaped form does.
    for (const QStringList& odd : {QStringList{""}, QStringList{QString(QChar(0)) + "x", "y"},
                                   QStringList{";"}, QStringList{"", ""}}) {
        store->saveStringList("Pics", odd);
        store->loadStringList("Pics", back);
        EXPECT_EQ(back, odd);
    }
    EXPECT_EQ(SettingsDb::decodeList(SettingsDb::encodeList({"%253B", "%3B;"})),
              (QStringList{"%253B", "%3B;"}));
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
