#pragma once

#include "platform/linux/LibcurlHttpClient.h"
#include "support/CloudServiceStandIn.h"

#include <exception>
#include <gtest/gtest.h>

namespace quonvera::test {

// A test that talks to the cloud service stand-in over loopback through the real HTTP client.
// The stand-in is shared by the program and starts each test with no scripts and no requests.
class CloudServiceStandInTest : public testing::Test {
protected:
    void SetUp() override {
        try {
            standIn = &sharedCloudServiceStandIn();
        } catch (const std::exception& error) {
            FAIL() << "The cloud service stand-in is not running: " << error.what();
        }
        standIn->reset();
    }

    CloudServiceStandIn* standIn = nullptr;
    LibcurlHttpClient http;
};

}  // namespace quonvera::test
