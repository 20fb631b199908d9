#include <gtest/gtest.h>

#include "platform/WebLink.h"

namespace vel::platform {
namespace {

const std::string kAddress = "https://example.org/vel";

TEST(AssociationCommand, CutsAtTheQuotedPlaceholder) {
    EXPECT_EQ(BuildAssociationCommand("\"C:\\Browser\\b.exe\" -osint -url \"%1\"", kAddress),
              "\"C:\\Browser\\b.exe\" -osint -url  " + kAddress);
    // Whatever follows the placeholder goes too.
    EXPECT_EQ(BuildAssociationCommand("b.exe \"%1\" -new", kAddress), "b.exe  " + kAddress);
}

TEST(AssociationCommand, CutsAtTheBarePlaceholderWhenThereIsNoQuotedOne) {
    EXPECT_EQ(BuildAssociationCommand("b.exe -url %1 -x", kAddress), "b.exe -url  " + kAddress);
    // The quoted form wins even when a bare one comes first.
    EXPECT_EQ(BuildAssociationCommand("b.exe %1 \"%1\"", kAddress), "b.exe %1  " + kAddress);
}

TEST(AssociationCommand, KeepsACommandWithoutPlaceholder) {
    EXPECT_EQ(BuildAssociationCommand("\"C:\\b.exe\" -nohome", kAddress),
              "\"C:\\b.exe\" -nohome " + kAddress);
    EXPECT_EQ(BuildAssociationCommand("", kAddress), " " + kAddress);
}

TEST(DesktopCommand, ReplacesTheAddressCodeAndDropsOthers) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(BuildDesktopCommand("firefox-esr %u", kAddress), (Args{"firefox-esr", kAddress}));
    EXPECT_EQ(BuildDesktopCommand("browser --new-window %U --icon %i %c %k", kAddress),
              (Args{"browser", "--new-window", kAddress, "--icon"}));
    EXPECT_EQ(BuildDesktopCommand("b --url=%u %f", kAddress),
              (Args{"b", "--url=" + kAddress}));  // the address is given once
    EXPECT_EQ(BuildDesktopCommand("b 100%% %F", kAddress), (Args{"b", "100%", kAddress}));
}

TEST(DesktopCommand, UnquotesArgumentsAndAppendsTheAddressWithoutCode) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(BuildDesktopCommand("\"/opt/my browser/b\" -a  \"x \\\"y\\\" \\$z\"", kAddress),
              (Args{"/opt/my browser/b", "-a", "x \"y\" $z", kAddress}));
}

TEST(DesktopCommand, RejectsBrokenLines) {
    EXPECT_TRUE(BuildDesktopCommand("", kAddress).empty());
    EXPECT_TRUE(BuildDesktopCommand("   ", kAddress).empty());
    EXPECT_TRUE(BuildDesktopCommand("\"unterminated %u", kAddress).empty());
    EXPECT_TRUE(BuildDesktopCommand("\"bad \\q escape\" %u", kAddress).empty());
    EXPECT_TRUE(BuildDesktopCommand("b \"ends in escape\\", kAddress).empty());
}

TEST(WebLinkText, ExplainsEveryKnownCode) {
    EXPECT_EQ(WebLinkErrorText(0), "The operating system is out\nof memory or resources.");
    EXPECT_EQ(WebLinkErrorText(2), "The specified file was not found.");
    EXPECT_EQ(WebLinkErrorText(3), "The specified path was not found.");
    EXPECT_EQ(WebLinkErrorText(5), "The operating system denied\naccess to the specified file.");
    EXPECT_EQ(WebLinkErrorText(8), "There was not enough memory to complete the operation.");
    EXPECT_EQ(WebLinkErrorText(11),
              "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    EXPECT_EQ(WebLinkErrorText(26), "A sharing violation occurred. ");
    EXPECT_EQ(WebLinkErrorText(27), "The filename association is\nincomplete or invalid.");
    EXPECT_EQ(WebLinkErrorText(28),
              "The DDE transaction could not\nbe completed because the request timed out.");
    EXPECT_EQ(WebLinkErrorText(29), "The DDE transaction failed.");
    EXPECT_EQ(WebLinkErrorText(30),
              "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
              "being processed.");
    EXPECT_EQ(WebLinkErrorText(31),
              "There is no application associated\nwith the given filename extension.");
    EXPECT_EQ(WebLinkErrorText(32), "The specified dynamic-link library was not found.");
}

TEST(WebLinkText, OtherCodesAreUnknownWithTheirNumber) {
    EXPECT_EQ(WebLinkErrorText(4), "Unknown Error (4) occurred.");
    EXPECT_EQ(WebLinkErrorText(-2147483647 - 1), "Unknown Error (-2147483648) occurred.");
    EXPECT_EQ(WebLinkFailureMessage(26),
              "Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(WebLinkFailureMessage(4), "Unable to open hyperlink:\n\nUnknown Error (4) occurred.");
}

TEST(WebLinkText, SuccessStartsAt33) {
    EXPECT_FALSE(WebAddressOpened(32));
    EXPECT_TRUE(WebAddressOpened(33));
    EXPECT_FALSE(WebAddressOpened(0));
}

}  // namespace
}  // namespace vel::platform
