// The Qt backend's controls: check boxes, combo boxes, sliders, progress bars.

#include "framework/qt/QtInternal.h"

namespace vel::fw {

namespace ctrl {

int GetCheck(const CWnd& button) {
    auto* b = As<QAbstractButton>(button);
    return b && b->isChecked() ? 1 : 0;
}

void SetCheck(CWnd& button, int state) {
    if (auto* b = As<QAbstractButton>(button)) {
        b->setChecked(state != 0);
    }
}

void Click(CWnd& button) {
    if (auto* b = As<QAbstractButton>(button)) {
        b->click();
    }
}

int AddString(CWnd& combo, std::string_view text) {
    auto* c = As<QComboBox>(combo);
    if (!c) {
        return -1;
    }
    c->addItem(ToQ(text));
    return c->count() - 1;
}

int DeleteString(CWnd& combo, int index) {
    auto* c = As<QComboBox>(combo);
    if (!c || index < 0 || index >= c->count()) {
        return -1;
    }
    c->removeItem(index);
    return c->count();
}

int GetCount(const CWnd& combo) {
    auto* c = As<QComboBox>(combo);
    return c ? c->count() : 0;
}

int GetCurSel(const CWnd& combo) {
    auto* c = As<QComboBox>(combo);
    return c ? c->currentIndex() : -1;
}

int SetCurSel(CWnd& combo, int index) {
    auto* c = As<QComboBox>(combo);
    if (!c) {
        return -1;
    }
    if (index < 0 || index >= c->count()) {
        c->setCurrentIndex(-1);
        return -1;
    }
    c->setCurrentIndex(index);
    return index;
}

std::string GetLBText(const CWnd& combo, int index) {
    auto* c = As<QComboBox>(combo);
    return c && index >= 0 && index < c->count() ? FromQ(c->itemText(index)) : std::string();
}

void ResetContent(CWnd& combo) {
    if (auto* c = As<QComboBox>(combo)) {
        c->clear();
    }
}

namespace {
struct QuietPosition {
    QuietPosition() {
        if (g_router) {
            g_router->settingPosition = true;
        }
    }
    ~QuietPosition() {
        if (g_router) {
            g_router->settingPosition = false;
        }
    }
};
}  // namespace

void SetSliderRange(CWnd& slider, int minValue, int maxValue, bool redraw) {
    if (auto* s = As<QSlider>(slider)) {
        QuietPosition quiet;
        s->setRange(minValue, maxValue);
        if (redraw) {
            s->update();
        }
    }
}

int GetSliderMin(const CWnd& slider) {
    auto* s = As<QSlider>(slider);
    return s ? s->minimum() : 0;
}

int GetSliderMax(const CWnd& slider) {
    auto* s = As<QSlider>(slider);
    return s ? s->maximum() : 0;
}

void SetTicFreq(CWnd& slider, int frequency) {
    if (auto* s = As<QSlider>(slider)) {
        s->setTickInterval(frequency);
    }
}

int GetTicFreq(const CWnd& slider) {
    auto* s = As<QSlider>(slider);
    return s ? s->tickInterval() : 0;
}

void SetSliderPos(CWnd& slider, int position) {
    if (auto* s = As<QSlider>(slider)) {
        QuietPosition quiet;
        s->setValue(position);
    }
}

int GetSliderPos(const CWnd& slider) {
    auto* s = As<QSlider>(slider);
    return s ? s->value() : 0;
}

void SetProgressRange(CWnd& bar, int lower, int upper) {
    if (auto* b = As<QProgressBar>(bar)) {
        b->setRange(lower, upper);
    }
}

int GetProgressLower(const CWnd& bar) {
    auto* b = As<QProgressBar>(bar);
    return b ? b->minimum() : 0;
}

int GetProgressUpper(const CWnd& bar) {
    auto* b = As<QProgressBar>(bar);
    return b ? b->maximum() : 0;
}

void SetProgressPos(CWnd& bar, int position) {
    QPointer<QProgressBar> b = As<QProgressBar>(bar);
    if (!b) {
        return;
    }
    if (OnGuiThread()) {
        b->setValue(std::clamp(position, b->minimum(), b->maximum()));
        return;
    }
    QMetaObject::invokeMethod(
        g_router,
        [b, position] {
            if (b) {
                b->setValue(std::clamp(position, b->minimum(), b->maximum()));
            }
        },
        Qt::QueuedConnection);
}

int GetProgressPos(const CWnd& bar) {
    auto* b = As<QProgressBar>(bar);
    return b ? b->value() : 0;
}

}  // namespace ctrl

}  // namespace vel::fw
