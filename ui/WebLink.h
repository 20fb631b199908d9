#pragma once
// A static control that behaves as a web link: coloured and underlined text, the hand cursor,
// a tooltip with the address, and a click that opens the address in the user's browser (with
// the system's fallback) or explains why it could not.

#include <functional>
#include <memory>
#include <string>

#include "framework/Controls.h"

namespace vel::ui {

class CWebLink : public fw::CStatic {
  public:
    static constexpr int kToolId = 1;

    CWebLink();
    ~CWebLink() override;

    void SetURL(const std::string& address);
    const std::string& GetURL() const { return address_; }
    void SetColours(fw::Colour link, fw::Colour visited, fw::Colour hover);
    void SetVisited(bool visited) { visited_ = visited; }
    bool IsVisited() const { return visited_; }
    bool IsOver() const { return over_; }
    void SetUnderline(bool underline) { underline_ = underline; }
    void SetAutoSize(bool adjust) { adjustToFit_ = adjust; }
    // The colour the text is painted in now.
    fw::Colour CurrentColour() const;
    const fw::CToolTipCtrl& ToolTip() const { return toolTip_; }
    bool HasHandCursor() const { return cursor_ != nullptr; }
    bool Underlined() const { return font_.Underlined(); }

    // Opens the address; the result follows the shell's codes (33 and above is success).
    using Opener = std::function<int(const std::string& address, int showMode)>;
    // Replaces how addresses are opened (tests); null restores the system's way.
    static void SetOpener(Opener opener);

    // Opens the address as a click does: visited on success, otherwise the beep and the
    // message that explains the code.
    void Follow();

    void PreSubclassWindow() override;
    bool OnCtlColor(fw::Colour& textColour) override;
    bool OnSetCursor() override;
    void OnMouseMove(fw::Point client) override;
    bool OnReflectedCommand(int code) override;

  private:
    void FitToText();

    std::string address_;
    fw::Colour link_ = fw::Rgb(0, 0, 255);
    fw::Colour visitedColour_ = fw::Rgb(128, 0, 128);
    fw::Colour hover_ = fw::Rgb(255, 0, 0);
    bool over_ = false;
    bool visited_ = false;
    bool underline_ = true;
    bool adjustToFit_ = true;
    fw::CFont font_;
    std::unique_ptr<fw::Cursor> cursor_;
    fw::CToolTipCtrl toolTip_;
};

// What the user reads when an address cannot be opened.
std::string WebLinkFailureText(int code);

}  // namespace vel::ui
