// The colour names the windows and controls paint with.
//
// Fixed colours are plain RGB values; the system colours are read from the
// application's palette when asked for, so they follow the desktop's scheme
// (clInfoBk is the tool-tip background, clHighlight the selection).
#pragma once

#include <QApplication>
#include <QColor>
#include <QPalette>

inline QColor clBlack() { return QColor(0, 0, 0); }
inline QColor clGreen() { return QColor(0, 128, 0); }
inline QColor clRed() { return QColor(255, 0, 0); }
inline QColor clWhite() { return QColor(255, 255, 255); }

inline QColor clInfoBk() { return QApplication::palette().color(QPalette::ToolTipBase); }
inline QColor clInfoText() { return QApplication::palette().color(QPalette::ToolTipText); }
inline QColor clHighlight() { return QApplication::palette().color(QPalette::Highlight); }
inline QColor clHighlightText() { return QApplication::palette().color(QPalette::HighlightedText); }
inline QColor clWindow() { return QApplication::palette().color(QPalette::Base); }
inline QColor clWindowText() { return QApplication::palette().color(QPalette::Text); }
inline QColor clBtnFace() { return QApplication::palette().color(QPalette::Button); }
inline QColor clBtnShadow() { return QApplication::palette().color(QPalette::Mid); }
