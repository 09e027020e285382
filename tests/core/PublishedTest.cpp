#include "core/Published.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quonvera {
namespace {

TEST(PublishedTest, SubscribersSeeTheNewValueBeforeItIsStored) {
    Published<int> value{1};
    std::vector<std::pair<int, int>> seen;  // (delivered, stored at that moment)
    auto subscription = value.subscribe([&](const int& v) { seen.emplace_back(v, value.get()); });
    value = 2;
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}}));
    EXPECT_EQ(value.get(), 2);
}

TEST(PublishedTest, SkipCurrentDeliversOnlyLaterChanges) {
    Published<std::string> value{"a"};
    std::vector<std::string> seen;
    auto subscription = value.subscribe([&](const std::string& v) { seen.push_back(v); }, Delivery::skipCurrent);
    value = "b";
    value = "b";  // every assignment notifies, equal or not
    EXPECT_EQ(seen, (std::vector<std::string>{"b", "b"}));
}

TEST(PublishedTest, CancelledOrDestroyedSubscriptionsStopDelivery) {
    Published<int> value{0};
    int first = 0;
    int second = 0;
    auto keep = value.subscribe([&](const int&) { ++first; }, Delivery::skipCurrent);
    {
        auto scoped = value.subscribe([&](const int&) { ++second; }, Delivery::skipCurrent);
        value = 1;
    }
    value = 2;
    keep.cancel();
    value = 3;
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
}

TEST(PublishedTest, ASubscriberMayCancelAnotherDuringANotification) {
    Published<int> value{0};
    Subscription later;
    int laterCalls = 0;
    auto canceller = value.subscribe([&](const int&) { later.cancel(); }, Delivery::skipCurrent);
    later = value.subscribe([&](const int&) { ++laterCalls; }, Delivery::skipCurrent);
    value = 1;
    value = 2;
    EXPECT_EQ(laterCalls, 0);
}

TEST(PublishedTest, SubscriptionOutlivingTheValueIsHarmless) {
    Subscription subscription;
    {
        Published<int> value{0};
        subscription = value.subscribe([](const int&) {});
    }
    subscription.cancel();
}

TEST(PublishedTest, CombineLatestDeliversThePairOnEitherChangeButNotInitially) {
    Published<int> a{1};
    Published<std::string> b{"x"};
    std::vector<std::pair<int, std::string>> seen;
    auto subscriptions = combineLatestSkippingCurrent<int, std::string>(
        a, b, [&](const int& x, const std::string& y) { seen.emplace_back(x, y); });
    EXPECT_TRUE(seen.empty());
    a = 2;
    b = "y";
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{2, "x"}, {2, "y"}}));
}

}  // namespace
}  // namespace quonvera
