#include "services/InstallIDManager.h"

#include "core/Uuid.h"
#include "platform/fake/InMemoryUserDefaults.h"

#include <gtest/gtest.h>

namespace quonvera {
namespace {

TEST(InstallIDManagerTest, CreatedOnFirstUseAndStableAfterwards) {
    InMemoryUserDefaults defaults;
    std::string first;
    {
        InstallIDManager manager(defaults);
        first = manager.installID();
        EXPECT_TRUE(isUuidString(first));
        EXPECT_EQ(first.size(), 36u);
        EXPECT_EQ(first.find_first_of("abcdef"), std::string::npos) << first;
        EXPECT_EQ(defaults.values.at("com.quonvera.installID"), first);
        EXPECT_EQ(manager.installID(), first);
    }
    // A later run of the application reads the same identifier.
    InstallIDManager restarted(defaults);
    EXPECT_EQ(restarted.installID(), first);
}

TEST(InstallIDManagerTest, UsesAnIdentifierAlreadyStored) {
    InMemoryUserDefaults defaults;
    defaults.setString("com.quonvera.installID", "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    InstallIDManager manager(defaults);
    EXPECT_EQ(manager.installID(), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_EQ(defaults.values.size(), 1u);
}

TEST(InstallIDManagerTest, InstallationsGetDifferentIdentifiers) {
    InMemoryUserDefaults one;
    InMemoryUserDefaults other;
    EXPECT_NE(InstallIDManager(one).installID(), InstallIDManager(other).installID());
}

}  // namespace
}  // namespace quonvera
