#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

namespace velfuzz {

std::string ScratchPath(const std::string& name) {
    static const struct Folder {
        std::string path;
        Folder() {
            const char* tmp = std::getenv("TMPDIR");
            path = std::string(tmp && *tmp ? tmp : "/tmp") + "/velnr-fuzz-XXXXXX";
            if (::mkdtemp(path.data()) == nullptr) {
                Fail("cannot create a scratch folder");
            }
        }
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } folder;
    return folder.path + "/" + name;
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        Fail("cannot write a scratch file");
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Fail("cannot read a scratch file");
    }
    // Through a string stream: GCC 12 at -O3 warns falsely about the iterator copy.
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return std::move(buffer).str();
}

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

}  // namespace velfuzz
