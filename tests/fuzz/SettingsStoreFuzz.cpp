// The settings text store: load any file, change keys, save, load again. Untouched lines come
// back byte for byte, a plain key reads back as set, the saved file reads as the store.
// Input: the file's bytes, then optionally a NUL and a change script of 0x01-separated section,
// key, value triples; without one the nine keys of slot 0 are set, as GetSettings does.

#include <cstddef>
#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/SettingsStore.h"

namespace {

struct Change {
    std::string section, key, value;
};

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    for (std::size_t at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator)) {
        parts.emplace_back(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    parts.emplace_back(text);
    return parts;
}

// The file's lines as its bytes hold them: split at LF, one CR before the LF dropped.
std::vector<std::string> FileLines(std::string_view bytes) {
    std::vector<std::string> lines = Split(bytes, '\n');
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].empty() && lines[i].back() == '\r') {
            lines[i].pop_back();
        }
    }
    if (lines.back().empty()) {
        lines.pop_back();  // the text after the last LF, when there is none
    }
    return lines;
}

bool Plain(std::string_view text) {
    return text.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-") ==
           std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.rfind('\0');
    const std::string_view file = input.substr(0, nul);
    std::vector<Change> changes;
    if (nul == std::string_view::npos) {
        for (const char* key : {"Luma Threshold", "Chroma Threshold", "Luma Suppression",
                                "Chroma Suppression", "Link Luma Chroma", "High Quality",
                                "Reanalyze Whole", "Light Correction", "Dark Correction"}) {
            changes.push_back({"VEL Noise Reduction 0", key, "7"});
        }
    } else {
        const std::vector<std::string> fields = Split(input.substr(nul + 1), '\x01');
        for (std::size_t i = 0; i + 2 < fields.size() && changes.size() < 16; i += 3) {
            changes.push_back({fields[i], fields[i + 1], fields[i + 2]});
        }
    }

    const std::string path = velfuzz::ScratchPath("settings.ini");
    velfuzz::WriteFile(path, file);
    vel::SettingsStore store;
    velfuzz::FailIf(store.LoadFile(path.c_str()) != vel::LoadResult::Loaded,
                    "a readable file did not load");
    const std::vector<std::string> original = FileLines(file);
    velfuzz::FailIf(store.LineCount() != original.size(),
                    "the store holds another number of lines than the file");
    // Where each line of the store came from: its line in the file, or -1 when a change
    // wrote it.
    std::vector<long> origin(original.size());
    std::iota(origin.begin(), origin.end(), 0L);
    for (const Change& c : changes) {
        const vel::KeyLookup before = store.FindKey(c.section, c.key);
        const std::size_t count = store.LineCount();
        store.SetString(c.section, c.key, c.value);
        if ((c.section + c.key + c.value).find_first_of("\r\n") != std::string::npos) {
            velfuzz::FailIf(store.LineCount() != count, "text with a line break was stored");
            continue;
        }
        if (before.line) {
            origin[*before.line] = -1;
        } else if (before.section) {
            origin.insert(origin.begin() + static_cast<long>(*before.section) + 1, -1);
        } else {
            origin.push_back(-1);
            origin.push_back(-1);
        }
        velfuzz::FailIf(store.LineCount() != origin.size(),
                        "a change added another number of lines than expected");
        // Plain text has no '=', ';', brackets or line breaks that could change how the line
        // is read, so the key now reads as set.
        velfuzz::FailIf(Plain(c.section) && Plain(c.key) && !c.key.empty() && Plain(c.value) &&
                            store.GetString(c.section, c.key, "\x01missing") != c.value,
                        "a plain key does not read back as set");
    }
    velfuzz::FailIf(!store.Save(path.c_str()), "saving to a writable file failed");
    const std::vector<std::string> back = FileLines(velfuzz::ReadFile(path));
    velfuzz::FailIf(back.size() != origin.size(), "the saved file holds another number of lines");
    for (std::size_t i = 0; i < back.size(); ++i) {
        velfuzz::FailIf(origin[i] >= 0 && back[i] != original[static_cast<std::size_t>(origin[i])],
                        "a line nobody changed came back different");
    }
    vel::SettingsStore reread;
    velfuzz::FailIf(!reread.Load(path.c_str()), "the saved file did not load");
    // The saved file reads as the store it came from.
    for (const Change& c : changes) {
        velfuzz::FailIf(reread.GetString(c.section, c.key, "\x01missing") !=
                            store.GetString(c.section, c.key, "\x01missing"),
                        "a key reads differently after saving and loading");
    }
    return 0;
}
