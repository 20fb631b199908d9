// Data exchange between dialog fields and controls, and its validation messages.

#include <cctype>
#include <charconv>
#include <cstdint>

#include "framework/App.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

namespace vel::fw {

CWnd* CDataExchange::PrepareCtrl(int id) {
    lastControl_ = id;
    return m_pDlgWnd ? m_pDlgWnd->GetDlgItem(id) : nullptr;
}

void CDataExchange::Fail() {
    failed_ = true;
    if (m_pDlgWnd && lastControl_ != 0) {
        if (CWnd* control = m_pDlgWnd->GetDlgItem(lastControl_)) {
            control->SetFocus();
        }
    }
}

bool ParseDialogInteger(std::string_view text, int& value) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    std::string_view digits = text.substr(begin, end - begin);
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) {
        return false;
    }
    int64_t magnitude = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > int64_t{2147483648}) {
            return false;
        }
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX || signedValue < INT32_MIN) {
        return false;
    }
    value = static_cast<int>(signedValue);
    return true;
}

std::string FormatString2(std::string_view format, std::string_view a1, std::string_view a2) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() &&
            (format[i + 1] == '1' || format[i + 1] == '2')) {
            out += format[i + 1] == '1' ? a1 : a2;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

void DDX_Text(CDataExchange* dx, int id, int& value) {
    if (dx->Skip()) {
        return;
    }
    CWnd* control = dx->PrepareCtrl(id);
    if (!control) {
        return;
    }
    if (dx->m_bSaveAndValidate) {
        int parsed = 0;
        if (!ParseDialogInteger(control->GetWindowText(), parsed)) {
            AfxMessageBox(kMsgInteger, kMbOk | kMbIconExclamation);
            dx->Fail();
            return;
        }
        value = parsed;
    } else {
        control->SetWindowText(std::to_string(value));
    }
}

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
    if (dx->Skip()) {
        return;
    }
    CWnd* control = dx->PrepareCtrl(id);
    if (!control) {
        return;
    }
    if (dx->m_bSaveAndValidate) {
        value = control->GetWindowText();
    } else {
        control->SetWindowText(value);
    }
}

void DDV_MinMaxInt(CDataExchange* dx, int value, int minValue, int maxValue) {
    if (dx->Skip() || !dx->m_bSaveAndValidate) {
        return;
    }
    if (value < minValue || value > maxValue) {
        AfxMessageBox(
            FormatString2(kMsgIntegerRange, std::to_string(minValue), std::to_string(maxValue)),
            kMbOk | kMbIconExclamation);
        dx->Fail();
    }
}

namespace {

// Moves one integer between a field and a control through the control's getter and setter.
template <typename Get, typename Set>
void ExchangeInt(CDataExchange* dx, int id, int& value, Get get, Set set) {
    if (dx->Skip()) {
        return;
    }
    CWnd* control = dx->PrepareCtrl(id);
    if (!control) {
        return;
    }
    if (dx->m_bSaveAndValidate) {
        value = get(*control);
    } else {
        set(*control, value);
    }
}

}  // namespace

void DDX_Check(CDataExchange* dx, int id, int& value) {
    ExchangeInt(
        dx, id, value, [](CWnd& w) { return ctrl::GetCheck(w); },
        [](CWnd& w, int v) { ctrl::SetCheck(w, v); });
}

void DDX_Slider(CDataExchange* dx, int id, int& position) {
    ExchangeInt(
        dx, id, position, [](CWnd& w) { return ctrl::GetSliderPos(w); },
        [](CWnd& w, int v) { ctrl::SetSliderPos(w, v); });
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index) {
    ExchangeInt(
        dx, id, index, [](CWnd& w) { return ctrl::GetCurSel(w); },
        [](CWnd& w, int v) { ctrl::SetCurSel(w, v); });
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (dx->Skip() || control.IsWindow()) {
        return;
    }
    control.SubclassDlgItem(id, dx->m_pDlgWnd);
}

}  // namespace vel::fw
