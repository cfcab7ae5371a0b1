#include <gtest/gtest.h>

#include <QString>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/desktop_trash.h"
#include "tests/support/test_media.h"

// Deleting a recording moves it to the desktop's trash, from where it can be
// put back; a file the trash cannot take stays where it was.
namespace {
namespace fs = std::filesystem;

// A home and a data folder of the test's own, the variables put back after.
class TrashHome : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_DATA_HOME"}) {
            const char* value = std::getenv(name);
            saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        }
        setenv("HOME", home_.file("").c_str(), 1);
        // Not made yet, as on a fresh account.
        setenv("XDG_DATA_HOME", home_.file("data").c_str(), 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
        }
    }

    QString makeFile(const std::string& name, const std::string& bytes) {
        fs::create_directories(home_.file("Documents/LumoraBox/MyVideo"));
        std::string path = home_.file("Documents/LumoraBox/MyVideo/" + name);
        std::ofstream(path) << bytes;
        return QString::fromStdString(path);
    }
    std::string trash(const std::string& name) const { return home_.file("data/Trash/" + name); }

    ScratchDir home_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
}  // namespace

TEST_F(TrashHome, ARecordingGoesToTheTrashWithWhereItCameFrom) {
    const std::string name = "my;clip 中文.flv";
    QString first = makeFile(name, "first take");
    QString problem;
    ASSERT_TRUE(moveToDesktopTrash(first, &problem)) << problem.toStdString();
    EXPECT_FALSE(fs::exists(first.toStdString())) << "no longer in place";
    EXPECT_EQ(contentsOf(trash("files/" + name)), "first take");
    std::string info = contentsOf(trash("info/" + name + ".trashinfo"));
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u) << info;
    // Where it came from, percent-encoded or as it is (Qt 6.4 writes it so).
    std::string encoded = QUrl::toPercentEncoding(first, "/").toStdString();
    EXPECT_TRUE(info.find("Path=" + encoded + "\n") != std::string::npos ||
                info.find("Path=" + first.toStdString() + "\n") != std::string::npos)
        << info;
    EXPECT_NE(info.find("DeletionDate="), std::string::npos) << info;
    EXPECT_FALSE(fs::exists(fs::current_path() / "files")) << "nothing beside the working folder";

    // The same name deleted again keeps the first one in the trash too.
    QString second = makeFile(name, "second take");
    ASSERT_TRUE(moveToDesktopTrash(second, &problem)) << problem.toStdString();
    EXPECT_FALSE(fs::exists(second.toStdString()));
    EXPECT_EQ(contentsOf(trash("files/" + name)), "first take");
    int infos = 0;
    for (const auto& entry : fs::directory_iterator(trash("info"))) {
        infos += entry.path().extension() == ".trashinfo";
    }
    EXPECT_EQ(infos, 2);

    EXPECT_FALSE(moveToDesktopTrash(first, &problem)) << "a file that is gone";
}

TEST_F(TrashHome, AFileTheTrashCannotTakeStaysWhereItIs) {
    // A trash whose "files" is not a folder: nothing can be moved into it.
    fs::create_directories(trash(""));
    std::ofstream(trash("files")) << "not a folder";
    QString recording = makeFile("kept.flv", "the only copy");
    QString problem;
    EXPECT_FALSE(moveToDesktopTrash(recording, &problem));
    EXPECT_FALSE(problem.isEmpty());
    EXPECT_EQ(contentsOf(recording.toStdString()), "the only copy") << "kept, whole";

    // A data folder that cannot hold a trash folder at all.
    fs::remove_all(home_.file("data"));
    std::ofstream(home_.file("data")) << "a file, not a folder";
    problem.clear();
    EXPECT_FALSE(moveToDesktopTrash(recording, &problem));
    EXPECT_TRUE(problem.contains("Trash")) << problem.toStdString();
    EXPECT_EQ(contentsOf(recording.toStdString()), "the only copy");
    EXPECT_FALSE(fs::exists(fs::current_path() / "files"));
}
