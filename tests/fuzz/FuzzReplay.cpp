// The ordinary builds' driver of a fuzz target: runs every file of the folders given through
// the target's entry point, as libFuzzer would. A broken property aborts; a missing or empty
// seed folder fails, so that a lost corpus cannot pass silently.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(argv[i], error)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        // The first folder holds the seeds; later ones (kept findings) may be absent.
        if (i == 1 && files.empty()) {
            std::fprintf(stderr, "no inputs in %s\n", argv[i]);
            status = 1;
        }
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            // Through a string stream: GCC 12 at -O3 warns falsely about the iterator copy.
            std::ostringstream buffer;
            buffer << in.rdbuf();
            const std::string bytes = std::move(buffer).str();
            std::printf("%s\n", file.filename().c_str());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        }
    }
    return status;
}
