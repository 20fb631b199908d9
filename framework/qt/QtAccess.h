#pragma once
// The Qt widgets behind framework windows, for tests and tools that drive or picture them.

#include <string>

#include "framework/Wnd.h"

class QWidget;

namespace vel::fw::qt {

// The widget of a window, null when it has none.
QWidget* WidgetOf(const CWnd& wnd);
// The control widget of a dialog by id (what GetDlgItem addresses), null when missing.
QWidget* ControlWidget(const CWnd& dialog, int id);
// The control id a widget was created for (-1 for static labels, 0 when none).
int ControlId(const QWidget* widget);
// The template text a control was created with or last set to (with '&&' as given).
std::string RawText(const QWidget* widget);
// The tooltip text that would show at a point of a control (empty: none).
std::string ToolTipAt(QWidget* widget, Point client);

}  // namespace vel::fw::qt
