// Two Windows hosts run the DLL at the same moment. Each process's run waits on its own
// completion event (the name holds the process id): both must finish, with the result of the
// engine. The exports themselves are tested on both systems by tests/run/LibraryTest.cpp.

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/run/RunReference.h"
#include "tests/run/TestImages.h"
#include "tests/windows/WindowsTestSupport.h"

namespace vel {
namespace {

TEST(DllProcesses, TwoHostsRunAtTheSameMoment) {
    const auto host = test::NoisyImage(kTwoProcessWidth, kTwoProcessHeight, kTwoProcessSeed);
    const auto expected =
        test::EngineResult(host, kTwoProcessWidth, kTwoProcessHeight, {}, test::Analysis::PerTile);
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string dll = ModuleFolder() + "VELNoiseReduction.dll";
    const std::string out[2] = {folder + std::string("velnr_two_0.raw"),
                                folder + std::string("velnr_two_1.raw")};
    ProbeProcess first({"run", dll, out[0]});
    ProbeProcess second({"run", dll, out[1]});
    ASSERT_TRUE(first.Started() && second.Started());
    EXPECT_EQ(first.Finish(120000), 0u);
    EXPECT_EQ(second.Finish(120000), 0u);
    for (const std::string& path : out) {
        std::vector<float> pixels(expected.size());
        std::ifstream(path, std::ios::binary)
            .read(reinterpret_cast<char*>(pixels.data()),
                  static_cast<std::streamsize>(pixels.size() * sizeof(float)));
        EXPECT_TRUE(test::SameBits(pixels, expected)) << path;
        DeleteFileA(path.c_str());
    }
}

}  // namespace
}  // namespace vel
