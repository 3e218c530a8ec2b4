// The message boxes and the query routine that every window and the data
// module share. Free routines, no state, user-interface thread only. Texts are
// UTF-8 (or QString in the windows).
//
// ShowMessageBox shows a box with no owner window, adding MB_TASKMODAL and
// MB_TOPMOST (0x42000) to the flags, and returns the id of the button that
// closed it. ShowInformation: caption "信息", one OK button, information icon.
// AskConfirmation: caption "确认", Yes and No with No the default, question
// icon; true exactly when the user chose Yes.
//
// OpenQuerySQL runs `sql` as the query's only statement line: its bound
// controls are disabled meanwhile, the query is closed, its text replaced,
// then prepared and opened; the controls are enabled again whatever happened.
// An error reaches the caller with the query closed; nothing is shown.
//
// UseApplicationErrorBox joins the query layer to the window platform's error
// box: the query layer's errors (a change that fails while a cache is
// applied) are shown in it, and its silent abort shows nothing there. The
// entry calls it before any window opens; it replaces the query layer's
// error box and returns the one it replaces.
#pragma once

#include "data/dataset/db_errors.h"

#include <string>

class QString;
class TQuery;

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);
int ShowMessageBox(const QString& text, const QString& caption, unsigned flags);

void ShowInformation(const std::string& text);
void ShowInformation(const QString& text);
void ShowInformation(const char* text);

[[nodiscard]] bool AskConfirmation(const std::string& text);
[[nodiscard]] bool AskConfirmation(const QString& text);
[[nodiscard]] bool AskConfirmation(const char* text);

void OpenQuerySQL(TQuery& query, const std::string& sql);

dataset::ErrorBoxHook UseApplicationErrorBox();
