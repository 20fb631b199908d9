// The parts of opening a web address that do not depend on the system: building the
// fallback command and explaining the result codes.

#include <cstdio>

#include "platform/WebLink.h"

namespace vel::platform {

std::string BuildAssociationCommand(const std::string& command, const std::string& address) {
    size_t cut = command.find("\"%1\"");
    if (cut == std::string::npos) {
        cut = command.find("%1");
    }
    std::string result = command.substr(0, cut);
    result += ' ';
    result += address;
    return result;
}

namespace {

// Splits an Exec line into arguments by the desktop entry rules: blanks separate, double
// quotes group, and inside quotes a backslash escapes '"', '`', '$' and '\'. False on an
// unterminated quote or a bad escape.
bool SplitExecLine(const std::string& line, std::vector<std::string>& args) {
    std::string current;
    bool inArg = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inArg) {
                args.push_back(current);
                current.clear();
                inArg = false;
            }
        } else if (c == '"') {
            inArg = true;
            for (++i;; ++i) {
                if (i >= line.size()) {
                    return false;
                }
                if (line[i] == '"') {
                    break;
                }
                if (line[i] == '\\') {
                    if (i + 1 >= line.size()) {
                        return false;
                    }
                    const char next = line[i + 1];
                    if (next != '"' && next != '`' && next != '$' && next != '\\') {
                        return false;
                    }
                    ++i;
                }
                current += line[i];
            }
        } else {
            inArg = true;
            current += c;
        }
    }
    if (inArg) {
        args.push_back(current);
    }
    return true;
}

}  // namespace

std::vector<std::string> BuildDesktopCommand(const std::string& execLine,
                                             const std::string& address) {
    std::vector<std::string> split;
    if (!SplitExecLine(execLine, split)) {
        return {};
    }
    std::vector<std::string> args;
    bool addressPlaced = false;
    for (const std::string& arg : split) {
        if (arg == "%u" || arg == "%U" || arg == "%f" || arg == "%F") {
            if (!addressPlaced) {
                args.push_back(address);
                addressPlaced = true;
            }
            continue;
        }
        if (arg == "%i" || arg == "%c" || arg == "%k") {
            continue;
        }
        std::string expanded;
        for (size_t i = 0; i < arg.size(); ++i) {
            if (arg[i] != '%') {
                expanded += arg[i];
            } else if (i + 1 < arg.size()) {
                ++i;
                if (arg[i] == '%') {
                    expanded += '%';
                } else if (arg[i] == 'u' || arg[i] == 'U' || arg[i] == 'f' || arg[i] == 'F') {
                    if (!addressPlaced) {
                        expanded += address;
                        addressPlaced = true;
                    }
                }  // other codes expand to nothing
            }
        }
        args.push_back(expanded);
    }
    if (args.empty() || args.front().empty()) {
        return {};
    }
    if (!addressPlaced) {
        args.push_back(address);
    }
    return args;
}

std::string WebLinkErrorText(int32_t code) {
    switch (code) {
        case 0:
            return "The operating system is out\nof memory or resources.";
        case 2:
            return "The specified file was not found.";
        case 3:
            return "The specified path was not found.";
        case 5:
            return "The operating system denied\naccess to the specified file.";
        case 8:
            return "There was not enough memory to complete the operation.";
        case 11:
            return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        case 26:
            return "A sharing violation occurred. ";
        case 27:
            return "The filename association is\nincomplete or invalid.";
        case 28:
            return "The DDE transaction could not\nbe completed because the request timed out.";
        case 29:
            return "The DDE transaction failed.";
        case 30:
            return "The DDE transaction could not\nbe completed because other DDE "
                   "transactions\nwere being processed.";
        case 31:
            return "There is no application associated\nwith the given filename extension.";
        case 32:
            return "The specified dynamic-link library was not found.";
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "Unknown Error (%d) occurred.",
                          static_cast<int>(code));
            return text;
        }
    }
}

std::string WebLinkFailureMessage(int32_t code) {
    return "Unable to open hyperlink:\n\n" + WebLinkErrorText(code);
}

}  // namespace vel::platform
