#include "app/activation_request.h"

#include <gtest/gtest.h>

TEST(ActivationRequestTest, ATokenTravelsWithTheRequestAndTheOldLineStillAsks) {
    EXPECT_EQ(activationMessage({}), "activate window");
    const QString token = "9c7bd7a6-3b8e-4a35-a7a8-0f6c2c1f6f0e_TIME1234";
    QString line = activationMessage({token});
    EXPECT_EQ(line, "activate window token=" + token);
    std::optional<ActivationRequest> request = activationRequestIn(line);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->token, token);

    // The line a copy from before tokens sends.
    request = activationRequestIn("activate window");
    ASSERT_TRUE(request.has_value());
    EXPECT_TRUE(request->token.isEmpty());

    // A token that would break the line is not sent, and not taken.
    EXPECT_EQ(activationMessage({"two words"}), "activate window");
    EXPECT_EQ(activationMessage({"a\tb"}), "activate window");
    EXPECT_FALSE(activationRequestIn("activate window token=a b").has_value());
    EXPECT_FALSE(activationRequestIn("quit").has_value());
    EXPECT_FALSE(activationRequestIn("activate windows").has_value());
}
