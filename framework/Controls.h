#pragma once
// Wrappers of the standard controls, attached to a dialog's control by id.

#include <string>
#include <vector>

#include "framework/Wnd.h"

namespace vel::fw {

// The control operations, on any window object of a control of that kind (a plain wrapper
// from GetDlgItem as well as a bound control object).
namespace ctrl {
int GetCheck(const CWnd& button);
void SetCheck(CWnd& button, int state);
void Click(CWnd& button);
int AddString(CWnd& combo, std::string_view text);
int DeleteString(CWnd& combo, int index);
int GetCount(const CWnd& combo);
int GetCurSel(const CWnd& combo);
int SetCurSel(CWnd& combo, int index);
std::string GetLBText(const CWnd& combo, int index);
void ResetContent(CWnd& combo);
void SetSliderRange(CWnd& slider, int minValue, int maxValue, bool redraw);
int GetSliderMin(const CWnd& slider);
int GetSliderMax(const CWnd& slider);
void SetTicFreq(CWnd& slider, int frequency);
int GetTicFreq(const CWnd& slider);
void SetSliderPos(CWnd& slider, int position);
int GetSliderPos(const CWnd& slider);
void SetProgressRange(CWnd& bar, int lower, int upper);
int GetProgressLower(const CWnd& bar);
int GetProgressUpper(const CWnd& bar);
// Safe from any thread: from another one the position is applied on the window's thread.
void SetProgressPos(CWnd& bar, int position);
int GetProgressPos(const CWnd& bar);
}  // namespace ctrl

class CStatic : public CWnd {};
class CEdit : public CWnd {};

class CButton : public CWnd {
  public:
    // 0 unchecked, 1 checked.
    int GetCheck() const { return ctrl::GetCheck(*this); }
    void SetCheck(int state) { ctrl::SetCheck(*this, state); }
    // Performs a click as the user would (the notifications included).
    void Click() { ctrl::Click(*this); }
};

class CComboBox : public CWnd {
  public:
    int AddString(std::string_view text) { return ctrl::AddString(*this, text); }
    // The count left, -1 when out of range.
    int DeleteString(int index) { return ctrl::DeleteString(*this, index); }
    int GetCount() const { return ctrl::GetCount(*this); }
    int GetCurSel() const { return ctrl::GetCurSel(*this); }
    // -1 clears the selection.
    int SetCurSel(int index) { return ctrl::SetCurSel(*this, index); }
    std::string GetLBText(int index) const { return ctrl::GetLBText(*this, index); }
    void ResetContent() { ctrl::ResetContent(*this); }
};

class CSliderCtrl : public CWnd {
  public:
    void SetRange(int minValue, int maxValue, bool redraw = false) {
        ctrl::SetSliderRange(*this, minValue, maxValue, redraw);
    }
    int GetRangeMin() const { return ctrl::GetSliderMin(*this); }
    int GetRangeMax() const { return ctrl::GetSliderMax(*this); }
    void SetTicFreq(int frequency) { ctrl::SetTicFreq(*this, frequency); }
    int GetTicFreq() const { return ctrl::GetTicFreq(*this); }
    void SetPos(int position) { ctrl::SetSliderPos(*this, position); }
    int GetPos() const { return ctrl::GetSliderPos(*this); }
};

class CProgressCtrl : public CWnd {
  public:
    void SetRange32(int lower, int upper) { ctrl::SetProgressRange(*this, lower, upper); }
    int GetRangeLower() const { return ctrl::GetProgressLower(*this); }
    int GetRangeUpper() const { return ctrl::GetProgressUpper(*this); }
    // Safe from any thread.
    void SetPos(int position) { ctrl::SetProgressPos(*this, position); }
    int GetPos() const { return ctrl::GetProgressPos(*this); }
};

// A tooltip control owned by a window; its tools are windows (whole client area) or a
// window's rectangle under a tool id.
class CToolTipCtrl {
  public:
    CToolTipCtrl();
    ~CToolTipCtrl();
    CToolTipCtrl(const CToolTipCtrl&) = delete;
    CToolTipCtrl& operator=(const CToolTipCtrl&) = delete;

    bool Create(CWnd* owner);
    // A tool covering rect (client coordinates of wnd; the whole client area when null).
    bool AddTool(CWnd* wnd, std::string_view text, const Rect* rect = nullptr, int toolId = 0);
    void UpdateTipText(std::string_view text, CWnd* wnd, int toolId = 0);
    std::string GetToolText(CWnd* wnd, int toolId = 0) const;
    void Activate(bool active);
    bool IsActive() const { return active_; }
    // The tip's text at a point of wnd's client area, empty when no tool covers it.
    std::string TextAt(CWnd* wnd, Point client) const;

  private:
    struct Tool {
        CWnd* wnd;
        int id;
        bool wholeClient;
        Rect rect;
        std::string text;
    };
    const Tool* Find(CWnd* wnd, int toolId) const;
    void Apply(const Tool& tool);
    CWnd* owner_ = nullptr;
    bool active_ = true;
    std::vector<Tool> tools_;
};

}  // namespace vel::fw
