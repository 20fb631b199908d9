#pragma once
// A sectioned "key=value" text file held as its list of lines, so that everything the caller
// does not change (other sections, other keys, comments, blank lines, malformed lines) is
// written back in place, byte for byte. Serves the host's settings file and preset files.
//
// Format rules, all on the text before a line's first ';' (the comment):
//  - a line holding both '[' and ']' is a section header; else one holding '=' is a key
//    line; anything else is kept as an other line;
//  - a section is found only through a header whose whole text is "[name]"; keys are the
//    text before the first '='; both compared after upper-casing ASCII letters, nothing
//    trimmed; the first match wins;
//  - lines end at LF; a CR before it is dropped; lines are written with CR LF.
// Lengths are unlimited: names, keys, values and comments are compared and kept whole.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vel {

enum class LineKind : uint8_t { Section = 1, Key = 2, Other = 3 };

enum class LoadResult : uint8_t {
    Loaded,
    Missing,  // no such file: callers may create it
    Failed,   // exists but could not be read whole (no access, read error, out of memory)
};

struct KeyLookup {
    std::optional<std::size_t> section;  // index of the header line
    std::optional<std::size_t> line;     // index of the key line
    std::string key;                     // key as written in the file
    std::string value;
    std::string comment;  // from the ';' on; empty when the line has none
};

class SettingsStore {
  public:
    SettingsStore() = default;

    // Replaces the list with the file's lines. On any failure the list is left empty.
    LoadResult LoadFile(const char* path);
    bool Load(const char* path) { return LoadFile(path) == LoadResult::Loaded; }
    // Writes every line + CR LF to a temporary file beside path, flushes it to disk and only
    // then renames it over path (keeping the original's permissions; through a symbolic link
    // to its target); where the folder cannot take a temporary file, path is rewritten in
    // place (ReplaceFileContents). On failure the list is discarded and the result is false;
    // path is untouched unless that in-place rewrite failed part-way.
    bool Save(const char* path);
    void Close() { lines_.clear(); }

    // The key's value when found, else the default.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;
    int32_t GetInt(std::string_view section, std::string_view key, int32_t defaultValue) const;
    bool GetBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // Found: the line becomes key-as-written "=" value comment. Section without the key: a
    // new line "key=value" right after the header. No section: "[section]" and "key=value"
    // appended at the end. Text holding CR or LF is refused (nothing changes): it would split
    // the line and could forge lines of other owners.
    void SetString(std::string_view section, std::string_view key, std::string_view value);
    void SetInt(std::string_view section, std::string_view key, int32_t value);
    void SetBool(std::string_view section, std::string_view key, bool value);

    KeyLookup FindKey(std::string_view section, std::string_view key) const;

    std::size_t LineCount() const { return lines_.size(); }
    const std::string& LineText(std::size_t i) const { return lines_[i].text; }
    LineKind Kind(std::size_t i) const { return lines_[i].kind; }
    // Appends a line as if it had been read from a file.
    void AppendLine(std::string text);

    // "%d" and its reading: leading blanks, optional sign, digits up to the first other
    // character; no digits give 0; values beyond 32 bits saturate.
    static std::string FormatInt(int32_t value);
    static int32_t ParseInt(std::string_view text);
    static LineKind Classify(std::string_view text);

  private:
    struct Line {
        LineKind kind;
        std::string text;
    };
    void Insert(std::size_t at, std::string text);

    std::vector<Line> lines_;
};

}  // namespace vel
