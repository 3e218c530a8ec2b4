// The message box: the stand-in for the Windows call, with its flag values
// and button ids.
//
// MessageBox draws a QMessageBox with no parent, application-modal and on
// top, and returns the id of the button that closed it. Tests install a
// responder that sees each box (text, caption, flags) and answers it instead,
// so that no test ever blocks on a box.
#pragma once

#include <QString>

#include <functional>

namespace ui {

// Flags, as Windows defines them.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_ICONSTOP = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x200;
inline constexpr unsigned MB_TASKMODAL = 0x2000;
inline constexpr unsigned MB_TOPMOST = 0x40000;

// Button ids.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Shows the box and returns the id of the button that closed it.
int MessageBox(const QString& text, const QString& caption, unsigned flags);

// The button id that Enter chooses for `flags` (the default button).
[[nodiscard]] int DefaultButton(unsigned flags);

// Answers boxes instead of drawing them. Returns the responder it replaces;
// an empty responder draws real boxes.
using MessageBoxResponder = std::function<int(const QString& text, const QString& caption, unsigned flags)>;
MessageBoxResponder SetMessageBoxResponder(MessageBoxResponder responder);

}  // namespace ui
