#include <gtest/gtest.h>

#include <set>

#include "base/play_list.h"

TEST(PlayListTest, InOrderRepeatsTheListAndFollowsTheChosenFile) {
    PlayList list;
    list.setMode(PlayList::kInOrder);
    EXPECT_EQ(list.advance(), "") << "an empty list has nothing to play";
    for (const char* path : {"a.mp4", "b.mp4", "c.mp4", "b.mp4"}) {
        list.add(path);
    }
    EXPECT_EQ(list.size(), 3u);
    std::vector<std::string> played;
    for (int i = 0; i < 7; ++i) {
        played.push_back(list.advance());
    }
    EXPECT_EQ(played, (std::vector<std::string>{"a.mp4", "b.mp4", "c.mp4", "a.mp4", "b.mp4",
                                                "c.mp4", "a.mp4"}));
    EXPECT_TRUE(list.setCurrent("c.mp4"));
    EXPECT_FALSE(list.setCurrent("z.mp4"));
    EXPECT_EQ(list.current(), "c.mp4");
    EXPECT_EQ(list.advance(), "a.mp4");

    list.remove("a.mp4");  // the playing file goes; the list starts over
    EXPECT_EQ(list.advance(), "b.mp4");
    list.clear();
    EXPECT_EQ(list.current(), "");
}

TEST(PlayListTest, RandomPlaysEveryFileOnceARoundWithoutRepeatingAcrossRounds) {
    PlayList list;
    list.setMode(PlayList::kRandom);
    for (const char* path : {"a", "b", "c", "d"}) {
        list.add(path);
    }
    std::string previous;
    for (int round = 0; round < 50; ++round) {
        std::set<std::string> seen;
        for (int i = 0; i < 4; ++i) {
            const std::string& next = list.advance();
            EXPECT_NE(next, previous) << "the same file twice in a row";
            previous = next;
            seen.insert(next);
        }
        EXPECT_EQ(seen.size(), 4u) << "round " << round;
    }
    PlayList single;
    single.add("only");
    EXPECT_EQ(single.advance(), "only");
    EXPECT_EQ(single.advance(), "only");
}
