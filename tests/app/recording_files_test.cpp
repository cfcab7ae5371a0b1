#include <gtest/gtest.h>

#include <string>

#include "app/recording_files.h"

// A recording saved as a name typed without an extension still ends in
// ".flv", so the players and the video list take it for what it is.
namespace {
std::string savedAsPath(const char* chosen) {
    return recording_files::savedAsPath(chosen).toStdString();
}
}  // namespace

TEST(RecordingFilesTest, ASavedAsNameEndsInFlv) {
    EXPECT_EQ(savedAsPath("/home/me/Videos/holiday"), "/home/me/Videos/holiday.flv");
    EXPECT_EQ(savedAsPath("/home/me/Videos/holiday."), "/home/me/Videos/holiday.flv");
    EXPECT_EQ(savedAsPath("/home/me/Videos/holiday.flv"), "/home/me/Videos/holiday.flv");
    EXPECT_EQ(savedAsPath("/home/me/Videos/HOLIDAY.FLV"), "/home/me/Videos/HOLIDAY.FLV")
        << "an extension typed in capitals is kept as typed";
    EXPECT_EQ(savedAsPath("/home/me/Videos/2024.06.01"), "/home/me/Videos/2024.06.01.flv")
        << "dots in the name are not an extension";
    EXPECT_EQ(savedAsPath("/home/me/my.videos/clip.mp4"), "/home/me/my.videos/clip.mp4.flv")
        << "the file is FLV whatever it is called";
}
