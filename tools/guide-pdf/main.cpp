// guide-pdf GUIDE.md OUTPUT.pdf
// Prints a guide written in Markdown to an A4 PDF: its pictures (relative to
// the guide's folder) scaled down to the page's width, the text in the Song
// font the windows use. The build makes docs/ward-guide.pdf with it.
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kMarginMm = 18;
// The text is laid out in pixels of a 96 dpi screen, as on the screen.
constexpr double kLayoutDpi = 96;
// Room under each page's text for its number, in those pixels.
constexpr double kFooter = 30;

// Images wider than the text column are shown at its width.
void FitImages(QTextDocument& doc, const QString& folder, double columnWidth)
{
    QList<QPair<QTextFragment, QTextImageFormat>> images;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isImageFormat()) {
                images.append({fragment, fragment.charFormat().toImageFormat()});
            }
        }
    }
    for (auto& [fragment, format] : images) {
        const QImage image(folder + QLatin1Char('/') + format.name());
        if (image.isNull()) {
            std::fprintf(stderr, "guide-pdf: cannot read %s\n", qPrintable(format.name()));
            std::exit(1);
        }
        if (image.width() > columnWidth) {
            format.setWidth(columnWidth);
            format.setHeight(columnWidth * image.height() / image.width());
        }
        QTextCursor cursor(&doc);
        cursor.setPosition(fragment.position());
        cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: guide-pdf GUIDE.md OUTPUT.pdf\n");
        return 2;
    }
    const QString guidePath = QString::fromLocal8Bit(argv[1]);
    QFile guide(guidePath);
    if (!guide.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "guide-pdf: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString markdown = QString::fromUtf8(guide.readAll());
    const QString folder = QFileInfo(guidePath).absolutePath();

    QTextDocument doc;
    QFont font(QStringLiteral("AR PL UMing CN"));
    font.setPointSizeF(10.5);
    doc.setDefaultFont(font);
    doc.setBaseUrl(QUrl::fromLocalFile(folder + QLatin1Char('/')));
    doc.setMarkdown(markdown);
    // The first heading is the title.
    QString title = markdown.section(QLatin1Char('\n'), 0, 0);
    title.remove(QLatin1Char('#'));
    doc.setMetaInformation(QTextDocument::DocumentTitle, title.trimmed());

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                     QPageLayout::Millimeter));
    writer.setResolution(300);
    writer.setTitle(title.trimmed());
    writer.setCreator(QStringLiteral("operedit guide-pdf"));

    // The writer's width and height are those of the area inside the margins.
    const double scale = writer.resolution() / kLayoutDpi;
    const QSizeF page(writer.width() / scale, writer.height() / scale - kFooter);
    FitImages(doc, folder, page.width() - 2 * doc.documentMargin());
    doc.setPageSize(page);

    QPainter painter(&writer);
    painter.scale(scale, scale);
    QFont numberFont = font;
    numberFont.setPixelSize(12);
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.save();
        painter.translate(0, -i * page.height());
        doc.drawContents(&painter, QRectF(QPointF(0, i * page.height()), page));
        painter.restore();
        painter.setFont(numberFont);
        painter.drawText(QRectF(0, page.height(), page.width(), kFooter), Qt::AlignCenter,
                         QStringLiteral("%1 / %2").arg(i + 1).arg(pages));
    }
    if (!painter.end() || pages == 0) {
        std::fprintf(stderr, "guide-pdf: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
