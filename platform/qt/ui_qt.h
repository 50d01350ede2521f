// What the Qt backend shares with the program entry and the GUI tests beyond
// platform/ui.h: the program icon, the dialog font's base units and the widgets
// behind a UiWindow.
#pragma once

#include <QIcon>

struct UiWindow;
class QDialog;
class QWidget;

// The program icon from the icon tables (both sizes); null before a QGuiApplication exists.
QIcon ui_qt_program_icon();
// Base units of the dialog font, as the Windows dialog manager computes them.
void ui_qt_base_units(int* base_x, int* base_y);
// The dialog window, or nullptr.
QDialog* ui_qt_dialog(UiWindow* dialog);
// The widget of a control by id (the first one with that id), or nullptr.
QWidget* ui_qt_control(UiWindow* dialog, int id);
