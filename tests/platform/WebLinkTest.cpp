#include <gtest/gtest.h>

#include "platform/WebLink.h"

namespace vel::platform {
namespace {

const std::string kAddress = "https://example.org/vel";

// The ".htm" association's command is cut at the quoted placeholder (or else the bare one;
// the quoted form wins), whatever follows goes too, and a blank and the address are appended.
TEST(WebLink, AssociationCommand) {
    const std::pair<const char*, std::string> cases[] = {
        {"\"C:\\Browser\\b.exe\" -osint -url \"%1\"", "\"C:\\Browser\\b.exe\" -osint -url  "},
        {"b.exe \"%1\" -new", "b.exe  "},
        {"b.exe -url %1 -x", "b.exe -url  "},
        {"b.exe %1 \"%1\"", "b.exe %1  "},
        {"\"C:\\b.exe\" -nohome", "\"C:\\b.exe\" -nohome "},
        {"", " "}};
    for (const auto& [command, start] : cases) {
        EXPECT_EQ(BuildAssociationCommand(command, kAddress), start + kAddress) << command;
    }
}

// A desktop entry's Exec line: the address code replaced (once), other codes dropped,
// arguments unquoted, the address appended without a code; broken lines give nothing.
TEST(WebLink, DesktopCommand) {
    using Args = std::vector<std::string>;
    const std::pair<const char*, Args> cases[] = {
        {"firefox-esr %u", {"firefox-esr", kAddress}},
        {"browser --new-window %U --icon %i %c %k",
         {"browser", "--new-window", kAddress, "--icon"}},
        {"b --url=%u %f", {"b", "--url=" + kAddress}},
        {"b 100%% %F", {"b", "100%", kAddress}},
        {"\"/opt/my browser/b\" -a  \"x \\\"y\\\" \\$z\"",
         {"/opt/my browser/b", "-a", "x \"y\" $z", kAddress}},
        {"", {}},
        {"   ", {}},
        {"\"unterminated %u", {}},
        {"\"bad \\q escape\" %u", {}},
        {"b \"ends in escape\\", {}}};
    for (const auto& [line, args] : cases) {
        EXPECT_EQ(BuildDesktopCommand(line, kAddress), args) << line;
    }
}

TEST(WebLink, ErrorTexts) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {4, "Unknown Error (4) occurred."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {28, "The DDE transaction could not\nbe completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30,
         "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
         "processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {-2147483647 - 1, "Unknown Error (-2147483648) occurred."}};
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(WebLinkErrorText(code), text);
        EXPECT_EQ(WebLinkFailureMessage(code), std::string("Unable to open hyperlink:\n\n") + text);
    }
    EXPECT_FALSE(WebAddressOpened(0));
    EXPECT_FALSE(WebAddressOpened(32));
    EXPECT_TRUE(WebAddressOpened(33));
}

}  // namespace
}  // namespace vel::platform
