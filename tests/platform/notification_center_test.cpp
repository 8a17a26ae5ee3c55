// The notification centre: observers of a name (or of every name) are called on the posting thread
// with the poster and the details; an observer removed is not called again, and an observer may post
// and remove observers from inside a post.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/error.h"
#include "Platform/notification_center.h"

namespace {

TEST(NotificationCenter, ObserversOfTheNameSeePosterAndDetailsOnThePostingThread) {
    Platform::NotificationCenter center;
    std::vector<std::string> seen;
    std::thread::id thread;
    auto named = center.addObserver("a", [&](const Platform::Notification& notice) {
        seen.push_back("a:" + notice.name);
        thread = std::this_thread::get_id();
        const auto* error = notice.userInfoValue<Platform::Error>("error");
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->code, 7);
        EXPECT_EQ(notice.userInfoValue<std::string>("error"), nullptr); // another type: none
    });
    auto every = center.addObserver("", [&](const Platform::Notification& notice) { seen.push_back("*:" + notice.name); });
    int poster = 0;
    std::thread([&] { center.post("a", &poster, {{"error", Platform::Error("d", 7)}}); }).join();
    center.post("b", &poster);
    EXPECT_EQ(seen, (std::vector<std::string>{"a:a", "*:a", "*:b"}));
    EXPECT_NE(thread, std::this_thread::get_id());

    center.removeObserver(named);
    center.removeObserver(every);
    center.post("a", &poster, {{"error", Platform::Error("d", 7)}});
    EXPECT_EQ(seen.size(), 3u);
}

TEST(NotificationCenter, ObserverMayPostAndRemoveItselfInsideAPost) {
    Platform::NotificationCenter center;
    int outer = 0;
    int inner = 0;
    Platform::NotificationCenter::Token token = 0;
    token = center.addObserver("outer", [&](const Platform::Notification&) {
        ++outer;
        center.removeObserver(token);
        center.post("inner", nullptr);
    });
    Platform::ScopedObserver innerObserver(center, "inner", [&](const Platform::Notification&) { ++inner; });
    center.post("outer", nullptr);
    center.post("outer", nullptr);
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(inner, 1);
}

} // namespace
