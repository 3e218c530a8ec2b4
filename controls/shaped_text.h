// Lines of text laid out once and drawn again and again. A grid repaints the
// same cell texts many times (scrolling, a row appended, a window passing
// over it), and laying a text out, shaping it into glyphs, costs more than
// drawing the glyphs. Drawing a kept line puts the same glyphs at the same
// places as QPainter::drawText at the same baseline.
#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QString>

#include <cstddef>
#include <vector>

class QPainter;

namespace controls {

class ShapedTexts {
public:
    // The one set the grids share, kept with the application object.
    static ShapedTexts& Shared();

    // A laid-out line: its glyphs with their places and fonts, and the box
    // of their pixels.
    struct Kept {
        QList<QGlyphRun> runs;  // placed with the line's top left at (0, 0)
        qreal ascent = 0;
        QRect ink;              // with a pixel to spare on each side, the baseline's start at (0, 0)
        bool byDrawText = false;  // text that drawText must lay out
    };

    // The paint device's resolution and pixel ratio, which the glyphs'
    // advances follow (hinting): a line is kept for each.
    struct Device {
        QPaintDevice* device = nullptr;
        int dpi = 0;
        qreal ratio = 1;
    };
    [[nodiscard]] static Device Of(const QPainter& painter);

    // The kept line of `text` in the painter's font on `device` (the
    // painter's, taken once by Of), laid out on first use; none for empty
    // text, for text with control characters (a tab, a line break) or
    // right-to-left characters, and for painters that lay out right to left,
    // which drawText lays out in ways of its own. Valid until the next call.
    const Kept* Line(const QPainter& painter, const Device& device, const QString& text);
    // Draws `text` in the painter's font and pen with its baseline starting
    // at `baseline`, as painter.drawText(baseline, text) would: from `line`,
    // its kept line, or by drawText when it has none.
    static void Draw(QPainter& painter, const QPoint& baseline, const QString& text, const Kept* line);
    void Draw(QPainter& painter, const QPoint& baseline, const QString& text)
    {
        Draw(painter, baseline, text, Line(painter, Of(painter), text));
    }
    // Whether every pixel the line touches at `baseline` lies inside `rect`,
    // a pixel to spare on each side: a clip to `rect` would change nothing.
    [[nodiscard]] static bool InkInside(const Kept& line, const QPoint& baseline, const QRect& rect);

    [[nodiscard]] qsizetype Size() const { return size_; }
    void Clear();

    static constexpr qsizetype kMostTexts = 2048;
    static constexpr std::size_t kMostFonts = 32;

private:
    struct InFont {
        QFont font;
        int dpi = 0;
        qreal ratio = 1;
        QHash<QString, Kept> lines;
    };
    InFont& InFontOf(const QFont& font, int dpi, qreal ratio);

    std::vector<InFont> fonts_;
    qsizetype size_ = 0;
};

}  // namespace controls
