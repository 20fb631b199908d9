#pragma once
// Dialogs built from the templates they are given, and the exchange of data between a dialog's
// fields and its controls with the standard validation messages.

#include <string>

#include "framework/Template.h"
#include "framework/Wnd.h"

namespace vel::fw {

class CDialog;

// One transfer between fields and controls. A failed read has shown its message and put the
// focus on the failing control; every later step of the same transfer does nothing.
class CDataExchange {
  public:
    CDataExchange(CDialog* dialog, bool saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    // Remembers the control that a following validation refers to; null when it is missing.
    CWnd* PrepareCtrl(int id);
    // Ends the transfer as failed and focuses the last prepared control.
    void Fail();
    bool Failed() const { return failed_; }
    bool Skip() const { return failed_; }

    const bool m_bSaveAndValidate;
    CDialog* const m_pDlgWnd;

  private:
    int lastControl_ = 0;
    bool failed_ = false;
};

inline constexpr const char* kMsgInteger = "Please enter an integer.";
inline constexpr const char* kMsgIntegerRange = "Please enter an integer between %1 and %2.";

// Integer text of an edit box. Reading fails with "Please enter an integer." unless the text
// is an optional sign and digits (blanks around allowed) that fit 32 bits.
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, std::string& value);
// After DDX_Text of the same control: "Please enter an integer between %1 and %2." when out of
// range, on reading only.
void DDV_MinMaxInt(CDataExchange* dx, int value, int minValue, int maxValue);
// 0 unchecked, 1 checked.
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_Slider(CDataExchange* dx, int id, int& position);
// Selected index of a combo box, -1 for none.
void DDX_CBIndex(CDataExchange* dx, int id, int& index);
// Binds a control object to its control on the first transfer.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

// Parses the integer text of DDX_Text; false when it is not one.
bool ParseDialogInteger(std::string_view text, int& value);
// "%1".."%2" replaced, as the framework formats its messages.
std::string FormatString2(std::string_view format, std::string_view a1, std::string_view a2);

class CDialog : public CWnd {
  public:
    // The template must outlive the dialog.
    explicit CDialog(const DialogTemplate& dialogTemplate, CWnd* parent = nullptr);
    ~CDialog() override;

    // Shows the dialog modally; kIdOk, kIdCancel or the EndDialog result; -1 when no window
    // can be shown.
    int DoModal();
    // Creates the modeless window from the template, owned by parent, hidden until shown.
    bool Create(CWnd* parent = nullptr);
    // Ends a modal dialog with result; hides a modeless one.
    void EndDialog(int result);
    // Moves all fields to the controls (false) or reads and validates them (true).
    bool UpdateData(bool saveAndValidate = true);
    bool DestroyWindow() override;

    // Tool tips for the controls, their text asked from OnToolTipNeedText.
    void EnableToolTips(bool enable = true);
    bool ToolTipsEnabled() const { return toolTips_; }

    int TemplateId() const { return template_->id; }
    const DialogTemplate& Template() const { return *template_; }
    bool IsModal() const { return modal_; }
    CWnd* ParentWindow() const { return parent_; }

    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* dx);
    bool OnCommand(int id, int code) override;

    // The backend: whether Escape and Enter are handled as dialog keys (only in the modal
    // loop of a dialog; a modeless window's owner loop has no dialog-box keyboard handling).
    bool HandlesDialogKeys() const { return modal_; }

  private:
    const DialogTemplate* template_;
    CWnd* parent_;
    bool modal_ = false;
    bool toolTips_ = false;
    friend struct DialogAccess;
};

}  // namespace vel::fw
