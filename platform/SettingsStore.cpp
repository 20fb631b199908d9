#include "platform/SettingsStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>

#include "platform/AtomicFile.h"

namespace vel {
namespace {

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// The part of a line that classification and key comparison look at.
std::string_view BeforeComment(std::string_view text) {
    return text.substr(0, std::min(text.find(';'), text.size()));
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

LineKind SettingsStore::Classify(std::string_view text) {
    const std::string_view body = BeforeComment(text);
    if (body.find('[') != std::string_view::npos && body.find(']') != std::string_view::npos) {
        return LineKind::Section;
    }
    if (body.find('=') != std::string_view::npos) {
        return LineKind::Key;
    }
    return LineKind::Other;
}

std::string SettingsStore::FormatInt(int32_t value) {
    return std::to_string(value);
}

int32_t SettingsStore::ParseInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude, saturating one past the int32 range so that huge digit runs
    // cannot overflow.
    constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(kCap, magnitude * 10 + (text[i] - '0'));
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);  // -kCap is exactly INT32_MIN
}

void SettingsStore::AppendLine(std::string text) {
    const LineKind kind = Classify(text);
    lines_.push_back(Line{kind, std::move(text)});
}

void SettingsStore::Insert(std::size_t at, std::string text) {
    const LineKind kind = Classify(text);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{kind, std::move(text)});
}

LoadResult SettingsStore::LoadFile(const char* path) {
    lines_ = {};
    if (!path) {
        return LoadResult::Failed;
    }
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) {
        return errno == ENOENT ? LoadResult::Missing : LoadResult::Failed;
    }
    try {
        // Lines of any length: a line is whatever lies between two line feeds.
        std::string pending;
        char chunk[16384];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
            std::string_view rest(chunk, got);
            for (std::size_t lf = rest.find('\n'); lf != std::string_view::npos;
                 lf = rest.find('\n')) {
                pending.append(rest.substr(0, lf));
                if (!pending.empty() && pending.back() == '\r') {
                    pending.pop_back();
                }
                AppendLine(std::move(pending));
                pending = std::string();
                rest.remove_prefix(lf + 1);
            }
            pending.append(rest);
        }
        if (std::ferror(file.get())) {
            lines_ = {};
            return LoadResult::Failed;
        }
        if (!pending.empty()) {
            AppendLine(std::move(pending));
        }
    } catch (const std::bad_alloc&) {
        // A partial list must never reach Save: it would drop the rest of the file.
        lines_ = {};
        return LoadResult::Failed;
    }
    return LoadResult::Loaded;
}

bool SettingsStore::Save(const char* path) {
    bool ok = false;
    if (path) {
        try {
            std::size_t total = 0;
            for (const Line& line : lines_) {
                total += line.text.size() + 2;
            }
            std::string bytes;
            bytes.reserve(total);
            for (const Line& line : lines_) {
                bytes += line.text;
                bytes += "\r\n";
            }
            ok = ReplaceFileContents(path, bytes);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (!ok) {
        lines_ = {};
    }
    return ok;
}

KeyLookup SettingsStore::FindKey(std::string_view section, std::string_view key) const {
    KeyLookup found;
    std::string header;
    header.reserve(section.size() + 2);
    header += '[';
    header += section;
    header += ']';
    std::size_t i = 0;
    for (; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::Section && EqualNoCase(lines_[i].text, header)) {
            break;
        }
    }
    if (i == lines_.size()) {
        return found;
    }
    found.section = i;
    for (++i; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::Section) {
            break;
        }
        if (line.kind != LineKind::Key) {
            continue;
        }
        const std::string_view text = line.text;
        const std::string_view body = BeforeComment(text);
        const std::size_t eq = body.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        if (EqualNoCase(body.substr(0, eq), key)) {
            found.line = i;
            found.key = body.substr(0, eq);
            found.value = body.substr(eq + 1);
            found.comment = text.substr(body.size());
            return found;
        }
    }
    return found;
}

std::string SettingsStore::GetString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
    KeyLookup found = FindKey(section, key);
    return found.line ? std::move(found.value) : std::string(defaultValue);
}

int32_t SettingsStore::GetInt(std::string_view section, std::string_view key,
                              int32_t defaultValue) const {
    return ParseInt(GetString(section, key, FormatInt(defaultValue)));
}

bool SettingsStore::GetBool(std::string_view section, std::string_view key,
                            bool defaultValue) const {
    return ParseInt(GetString(section, key, defaultValue ? "1" : "0")) != 0;
}

void SettingsStore::SetString(std::string_view section, std::string_view key,
                              std::string_view value) {
    // A line break would split the line on the next read and could forge lines of other
    // owners, so such text is never stored.
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) {
        return;
    }
    const KeyLookup found = FindKey(section, key);
    std::string keyLine;
    if (found.line) {
        keyLine.reserve(found.key.size() + 1 + value.size() + found.comment.size());
        keyLine.append(found.key).append("=").append(value).append(found.comment);
        Line& line = lines_[*found.line];
        line.kind = Classify(keyLine);
        line.text = std::move(keyLine);
        return;
    }
    keyLine.reserve(key.size() + 1 + value.size());
    keyLine.append(key).append("=").append(value);
    if (found.section) {
        Insert(*found.section + 1, std::move(keyLine));
        return;
    }
    std::string header;
    header.reserve(section.size() + 2);
    header.append("[").append(section).append("]");
    lines_.reserve(lines_.size() + 2);  // both lines or neither
    AppendLine(std::move(header));
    AppendLine(std::move(keyLine));
}

void SettingsStore::SetInt(std::string_view section, std::string_view key, int32_t value) {
    SetString(section, key, FormatInt(value));
}

void SettingsStore::SetBool(std::string_view section, std::string_view key, bool value) {
    SetString(section, key, value ? "1" : "0");
}

}  // namespace vel
