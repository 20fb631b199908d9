#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"

// fontconfig keeps its font cache for the life of the process and frees it nowhere; nothing
// of ours is listed.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new vel::test::UiEnvironment);
    return RUN_ALL_TESTS();
}
