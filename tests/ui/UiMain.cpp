#include "tests/ui/UiTestSupport.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    (void)(::testing::GTEST_FLAG(list_tests) || vel::fw::EnsureGui());  // on this thread
    vel::fw::SetMessageBoxHandler([](const std::string& text, uint32_t type) {
        vel::test::recorded.messages.emplace_back(text, type);
        return vel::fw::kIdOk;
    });
    vel::fw::SetBeepHandler([](uint32_t type) { vel::test::recorded.beeps.push_back(type); });
    return RUN_ALL_TESTS();
}
