#include "Vorlane/Notifications/notifications_facade.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Platform/notification_center.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "vxmeta/foundation/exception.h"

namespace VorlaneBridge {
namespace {

using VxMeta::Notification;

std::shared_ptr<Notification> notice(const std::string& urn, const std::string& type, const std::string& message = "m") {
    auto record = std::make_shared<Notification>();
    record->urn = urn;
    record->mode = "mode";
    record->type = type;
    record->message = message;
    record->action1 = "Join";
    record->action2 = "Decline";
    record->aux = "aux";
    return record;
}

class NotificationsFacadeTest : public ::testing::Test {
protected:
    void SetUp() override {
        token = Platform::NotificationCenter::defaultCenter().addObserver(kCurrentNotificationsChanged,
                                                                        [this](const Platform::Notification&) {
                                                                            ++posts;
                                                                            if (onPost) onPost();
                                                                        });
        NotificationsLibrary library;
        library.getNotifications = [this] {
            auto list = std::make_shared<VxMeta::RecordList<Notification>>(next);
            return list;
        };
        library.respondToNotification = [this](const std::string& urn, const std::string& answer) {
            answers.emplace_back(urn, answer);
            if (failAnswers) throw VxMeta::VxMetaException("HTTP Error", "refused", "No Right");
        };
        facade = std::make_unique<NotificationsFacade>(nullptr, library);
    }
    void TearDown() override { Platform::NotificationCenter::defaultCenter().removeObserver(token); }

    std::vector<std::string> urns() const {
        std::vector<std::string> found;
        for (const VLNotification& n : *facade->currentNotifications()) found.push_back(n.urn().value_or("(none)"));
        return found;
    }

    Platform::NotificationCenter::Token token = 0;
    int posts = 0;
    std::function<void()> onPost;
    VxMeta::RecordList<Notification> next;
    std::vector<std::pair<std::string, std::string>> answers;
    bool failAnswers = false;
    std::unique_ptr<NotificationsFacade> facade;
};

TEST_F(NotificationsFacadeTest, AnEmptyAnswerKeepsTheListAndOnlyProblemsGiveAnEmptyList) {
    facade->refreshNotifications();
    EXPECT_EQ(facade->currentNotifications(), nullptr);
    EXPECT_EQ(posts, 0);

    next = {notice("n1", "ca_invite", "Join the team"), notice("p1", "sync_problem"), notice("n2", "asset_request")};
    facade->refreshNotifications();
    EXPECT_EQ(urns(), (std::vector<std::string>{"n1", "n2"}));
    EXPECT_EQ(posts, 1);
    const VLNotification& first = facade->currentNotifications()->front();
    EXPECT_EQ(first.message(), "Join the team");
    EXPECT_EQ(first.mode(), "mode");
    EXPECT_EQ(first.action1(), "Join");
    EXPECT_EQ(first.action2(), "Decline");
    EXPECT_EQ(first.aux(), "aux");

    // Answered elsewhere: the library has none, the old list stays and nothing is posted.
    const auto held = facade->currentNotifications();
    next.clear();
    facade->refreshNotifications();
    EXPECT_EQ(facade->currentNotifications(), held);
    EXPECT_EQ(posts, 1);

    next = {notice("p1", "sync_problem"), notice("p2", "sync_problem")};
    facade->refreshNotifications();
    ASSERT_NE(facade->currentNotifications(), nullptr);
    EXPECT_TRUE(facade->currentNotifications()->empty());
    EXPECT_EQ(posts, 2);
    EXPECT_EQ(held->size(), 2u); // the list a reader held is not changed
}

TEST_F(NotificationsFacadeTest, AnAnswerRemovesEveryEntryWithThatUrn) {
    next = {notice("n1", "ca_invite"), notice("n2", "asset_request"), notice("n1", "ca_invite", "again")};
    facade->refreshNotifications();
    const VLNotification answered =
        VLNotification::notificationWithURN("n1", std::nullopt, "ca_invite", std::nullopt, std::nullopt, std::nullopt,
                                            std::nullopt);
    Platform::Error error;
    EXPECT_TRUE(facade->processNotification(answered, std::nullopt, &error));
    EXPECT_EQ(answers, (std::vector<std::pair<std::string, std::string>>{{"n1", ""}}));
    EXPECT_EQ(urns(), (std::vector<std::string>{"n2"}));
    EXPECT_EQ(posts, 2);

    EXPECT_TRUE(facade->processNotification(facade->currentNotifications()->front(), std::string("Decline"), nullptr));
    EXPECT_EQ(answers.back(), std::make_pair(std::string("n2"), std::string("Decline")));
    EXPECT_TRUE(facade->currentNotifications()->empty());
}

TEST_F(NotificationsFacadeTest, AProblemIsAnsweredWithoutTheLibraryAndAFailedAnswerChangesNothing) {
    next = {notice("n1", "ca_invite")};
    facade->refreshNotifications();
    const auto held = facade->currentNotifications();

    const VLNotification problem("p1", "m", "sync_problem", "x", std::nullopt, std::nullopt, std::nullopt);
    EXPECT_TRUE(facade->processNotification(problem, std::string("Join"), nullptr));
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(posts, 1);

    failAnswers = true;
    Platform::Error error;
    EXPECT_FALSE(facade->processNotification(held->front(), std::string("Join"), &error));
    EXPECT_EQ(error.domain, "VorlaneErrorDomain");
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.userInfo, (std::map<std::string, std::string>{
                                  {VLCategoryKey, "HTTP Error"}, {VLMessageKey, "refused"}, {VLReasonKey, "No Right"}}));
    EXPECT_EQ(facade->currentNotifications(), held);
    EXPECT_EQ(posts, 1);
    EXPECT_FALSE(facade->processNotification(held->front(), std::string("Join"), nullptr));

    // A failure of the library's listing passes to the caller and keeps the list.
    NotificationsLibrary failing;
    failing.getNotifications = []() -> VxMeta::RecordListPtr<Notification> {
        throw VxMeta::VxMetaException("Communication Error", "away");
    };
    NotificationsFacade other(nullptr, failing);
    EXPECT_THROW(other.refreshNotifications(), VxMeta::VxMetaException);
    EXPECT_EQ(other.currentNotifications(), nullptr);
}

TEST_F(NotificationsFacadeTest, ClearAlwaysPostsAndObserversMayCallBackIn) {
    facade->clear();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(facade->currentNotifications(), nullptr);

    // An observer on the posting thread reads the list and answers from inside the notice.
    next = {notice("n1", "ca_invite"), notice("n2", "ca_invite")};
    std::vector<size_t> seen;
    onPost = [&] {
        const auto list = facade->currentNotifications();
        seen.push_back(list ? list->size() : 0);
        if (list && list->size() == 2) facade->processNotification(list->back(), std::string("Join"), nullptr);
    };
    facade->refreshNotifications();
    EXPECT_EQ(seen, (std::vector<size_t>{2, 1}));
    EXPECT_EQ(urns(), (std::vector<std::string>{"n1"}));

    onPost = nullptr;
    facade->clear();
    EXPECT_EQ(facade->currentNotifications(), nullptr);
}

TEST(VLNotification, EqualityAndHashFollowTheUrn) {
    const VLNotification a("urn:1", "a", "t", "m", "x", "y", "z");
    const VLNotification b("urn:1", std::nullopt, "other", std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    const VLNotification c("urn:2", "a", "t", "m", "x", "y", "z");
    const VLNotification none(std::nullopt, "a", "t", "m", "x", "y", "z");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_EQ(a.hash(), std::hash<std::string>()("urn:1") + 31);
    EXPECT_FALSE(a == c);
    EXPECT_FALSE(none == none);
}

TEST(VLNotification, LibraryTextsThatAreNotUtf8AreAbsent) {
    VxMeta::RecordList<Notification> list = {notice("n1", "ca_invite", "bad \xc3(")};
    NotificationsLibrary library;
    library.getNotifications = [&] { return std::make_shared<VxMeta::RecordList<Notification>>(list); };
    NotificationsFacade facade(nullptr, library);
    facade.refreshNotifications();
    ASSERT_EQ(facade.currentNotifications()->size(), 1u);
    EXPECT_EQ(facade.currentNotifications()->front().message(), std::nullopt);
    EXPECT_EQ(facade.currentNotifications()->front().urn(), "n1");
}

} // namespace
} // namespace VorlaneBridge
