// The backend-neutral parts of dialogs and tooltips.

#include "framework/Dialog.h"

#include <algorithm>

#include "framework/Controls.h"

namespace vel::fw {

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (!UpdateData(true)) {
        return;
    }
    EndDialog(kIdOk);
}

void CDialog::OnCancel() {
    EndDialog(kIdCancel);
}

void CDialog::DoDataExchange(CDataExchange* /*dx*/) {}

bool CDialog::UpdateData(bool saveAndValidate) {
    if (!IsWindow()) {
        return false;
    }
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.Failed();
}

bool CDialog::OnCommand(int id, int code) {
    if (code != kBnClicked) {
        return false;
    }
    if (id == kIdOk) {
        OnOK();
        return true;
    }
    if (id == kIdCancel) {
        OnCancel();
        return true;
    }
    return false;
}

const CToolTipCtrl::Tool* CToolTipCtrl::Find(CWnd* wnd, int toolId) const {
    for (const Tool& t : tools_) {
        if (t.wnd == wnd && t.id == toolId) {
            return &t;
        }
    }
    return nullptr;
}

bool CToolTipCtrl::AddTool(CWnd* wnd, std::string_view text, const Rect* rect, int toolId) {
    if (!owner_ || !wnd || !wnd->IsWindow()) {
        return false;
    }
    Tool tool{wnd, toolId, rect == nullptr, rect ? *rect : Rect{}, std::string(text)};
    tools_.erase(std::remove_if(tools_.begin(), tools_.end(),
                                [&](const Tool& t) { return t.wnd == wnd && t.id == toolId; }),
                 tools_.end());
    tools_.push_back(tool);
    Apply(tools_.back());
    return true;
}

void CToolTipCtrl::UpdateTipText(std::string_view text, CWnd* wnd, int toolId) {
    for (Tool& t : tools_) {
        if (t.wnd == wnd && t.id == toolId) {
            t.text = std::string(text);
            Apply(t);
        }
    }
}

std::string CToolTipCtrl::GetToolText(CWnd* wnd, int toolId) const {
    const Tool* t = Find(wnd, toolId);
    return t ? t->text : std::string();
}

std::string CToolTipCtrl::TextAt(CWnd* wnd, Point client) const {
    if (!active_) {
        return {};
    }
    for (const Tool& t : tools_) {
        if (t.wnd != wnd) {
            continue;
        }
        const Rect area = t.wholeClient ? wnd->GetClientRect() : t.rect;
        if (area.Contains(client)) {
            return t.text;
        }
    }
    return {};
}

}  // namespace vel::fw
