#pragma once
// Helpers for driving the real Qt widgets of the dialogs headless.

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/App.h"
#include "framework/qt/QtAccess.h"
#include "resources/Resources.h"

namespace vel::test {

// Every test program starts the offscreen platform once; message boxes are recorded, never
// shown.
class UiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(fw::EnsureGui());
        fw::SetMessageBoxHandler([](const std::string& text, uint32_t type) {
            Messages().push_back({text, type});
            return fw::kIdOk;
        });
        fw::SetBeepHandler([](uint32_t type) { Beeps().push_back(type); });
    }
    struct Message {
        std::string text;
        uint32_t type;
    };
    static std::vector<Message>& Messages() {
        static std::vector<Message> messages;
        return messages;
    }
    static std::vector<uint32_t>& Beeps() {
        static std::vector<uint32_t> beeps;
        return beeps;
    }
};

inline std::string Text(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text().toStdString();
    }
    return {};
}

// The top-level windows that carry a control of this id.
inline std::vector<QWidget*> WindowsWithControl(int id) {
    std::vector<QWidget*> found;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        for (QWidget* child : top->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (fw::qt::ControlId(child) == id) {
                found.push_back(top);
                break;
            }
        }
    }
    return found;
}

inline QWidget* Child(QWidget* top, int id) {
    for (QWidget* child : top->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (fw::qt::ControlId(child) == id) {
            return child;
        }
    }
    return nullptr;
}

}  // namespace vel::test
