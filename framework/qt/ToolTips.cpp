// The Qt backend's tooltips.

#include "framework/qt/QtInternal.h"

namespace vel::fw {

std::vector<std::pair<QWidget*, const CToolTipCtrl*>>& ToolTipOwners() {
    static std::vector<std::pair<QWidget*, const CToolTipCtrl*>> owners;
    return owners;
}

CToolTipCtrl::CToolTipCtrl() = default;

CToolTipCtrl::~CToolTipCtrl() {
    auto& owners = ToolTipOwners();
    owners.erase(std::remove_if(owners.begin(), owners.end(),
                                [this](const auto& o) { return o.second == this; }),
                 owners.end());
}

bool CToolTipCtrl::Create(CWnd* owner) {
    owner_ = owner;
    return owner && owner->IsWindow();
}

void CToolTipCtrl::Apply(const Tool& tool) {
    QWidget* w = Widget(*tool.wnd);
    if (!w) {
        return;
    }
    auto& owners = ToolTipOwners();
    for (const auto& o : owners) {
        if (o.first == w && o.second == this) {
            return;
        }
    }
    owners.emplace_back(w, this);
    w->installEventFilter(g_router);
}

void CToolTipCtrl::Activate(bool active) {
    active_ = active;
}

}  // namespace vel::fw
