// zel-mdpdf: renders a Markdown manual into a PDF at build time, with Qt's own
// Markdown reader and PDF writer, so the manuals need no tool outside the build.
//
//   zel-mdpdf INPUT.md OUTPUT.pdf [--title TITLE]
//   zel-mdpdf INPUT.md --png PAGE OUTPUT.png      (one page as a picture, to check the layout)
//
// Exit codes: 0 written, 1 bad arguments, 2 input unreadable or empty, 3 output not written.
#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextFrameFormat>
#include <QTextTable>
#include <cstdio>

namespace {

constexpr int kDpi = 300;              // PDF resolution: text is vector, this only sets the layout grid
constexpr double kMarginMm = 20.0;
constexpr double kBodyPointSize = 10.5;

void Usage() {
  std::fprintf(stderr,
               "usage: zel-mdpdf INPUT.md OUTPUT.pdf [--title TITLE]\n"
               "       zel-mdpdf INPUT.md --png PAGE OUTPUT.png\n");
}

// Headings and body in the fonts of a printed manual; code in a monospaced face.
void Style(QTextDocument& doc) {
  QFont body(QStringLiteral("DejaVu Sans"));
  body.setPointSizeF(kBodyPointSize);
  doc.setDefaultFont(body);
  doc.setDocumentMargin(0);
  QTextFrameFormat root = doc.rootFrame()->frameFormat();
  root.setMargin(0);
  doc.rootFrame()->setFrameFormat(root);
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    QTextCursor cursor(block);
    QTextBlockFormat format = block.blockFormat();
    const int level = format.headingLevel();
    if (level > 0) {
      // A little air above each heading, so sections stand apart on the page.
      format.setTopMargin(level == 1 ? 4 : 14);
      format.setBottomMargin(6);
      format.setPageBreakPolicy(level == 1 && block.blockNumber() > 0 ? QTextFormat::PageBreak_AlwaysBefore
                                                                       : QTextFormat::PageBreak_Auto);
      cursor.setBlockFormat(format);
    } else if (format.bottomMargin() < 4) {
      format.setBottomMargin(4);
      cursor.setBlockFormat(format);
    }
  }
  // Tables as a printed manual has them: thin collapsed rules, padded cells, a shaded
  // header row.
  for (QTextFrame* frame : doc.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (!table) continue;
    QTextTableFormat format = table->format();
    format.setBorderCollapse(true);
    format.setBorder(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(QColor(0x99, 0x99, 0x99));
    format.setCellSpacing(0);
    format.setCellPadding(4);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setHeaderRowCount(1);
    table->setFormat(format);
    for (int column = 0; column < table->columns(); ++column) {
      QTextTableCell cell = table->cellAt(0, column);
      QTextCharFormat shaded = cell.format();
      shaded.setBackground(QColor(0xEE, 0xEE, 0xEE));
      cell.setFormat(shaded);
    }
  }
}

QString ReadText(const QString& path, bool* ok) {
  QFile file(path);
  *ok = file.open(QIODevice::ReadOnly);
  if (!*ok) return {};
  return QString::fromUtf8(file.readAll());
}

// The page area in device pixels of a layout at `dpi`.
QSizeF PageBody(const QPageLayout& layout, int dpi) { return layout.paintRectPixels(dpi).size(); }

int WritePdf(QTextDocument& doc, const QString& output, const QString& title) {
  // Written to a temporary file and renamed: a failed build never leaves half a manual.
  QSaveFile file(output);
  if (!file.open(QIODevice::WriteOnly)) return 3;
  {
    QPdfWriter writer(&file);
    writer.setResolution(kDpi);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Zel Velomar"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter));
    doc.print(&writer);
  }
  return file.commit() ? 0 : 3;
}

int WritePng(QTextDocument& doc, int page, const QString& output) {
  const int dpi = 96;
  const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                           QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
  const QSizeF body = PageBody(layout, dpi);
  // Lay out the way print() does: point sizes at the page's resolution.
  doc.documentLayout()->setPaintDevice(nullptr);
  QImage image(layout.fullRectPixels(dpi).size(), QImage::Format_RGB32);
  image.setDotsPerMeterX(static_cast<int>(dpi / 0.0254));
  image.setDotsPerMeterY(static_cast<int>(dpi / 0.0254));
  image.fill(Qt::white);
  doc.documentLayout()->setPaintDevice(&image);
  doc.setPageSize(body);
  if (page < 1 || page > doc.pageCount()) {
    std::fprintf(stderr, "zel-mdpdf: page %d of %d\n", page, doc.pageCount());
    return 1;
  }
  QPainter painter(&image);
  const QRect margins = layout.paintRectPixels(dpi);
  painter.translate(margins.topLeft());
  painter.translate(0, -body.height() * (page - 1));
  doc.drawContents(&painter, QRectF(0, body.height() * (page - 1), body.width(), body.height()));
  painter.end();
  return image.save(output) ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  // A build machine has no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  if (args.size() < 2) {
    Usage();
    return 1;
  }
  const QString input = args.takeFirst();
  QString output;
  QString title;
  int pngPage = 0;
  while (!args.isEmpty()) {
    const QString arg = args.takeFirst();
    if (arg == QLatin1String("--title") && !args.isEmpty()) {
      title = args.takeFirst();
    } else if (arg == QLatin1String("--png") && args.size() >= 2) {
      bool ok = false;
      pngPage = args.takeFirst().toInt(&ok);
      if (!ok) {
        Usage();
        return 1;
      }
      output = args.takeFirst();
    } else if (output.isEmpty() && !arg.startsWith(QLatin1String("--"))) {
      output = arg;
    } else {
      Usage();
      return 1;
    }
  }
  if (output.isEmpty()) {
    Usage();
    return 1;
  }
  bool ok = false;
  const QString markdown = ReadText(input, &ok);
  if (!ok || markdown.trimmed().isEmpty()) {
    std::fprintf(stderr, "zel-mdpdf: cannot read %s\n", qPrintable(input));
    return 2;
  }
  QTextDocument doc;
  doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
  Style(doc);
  if (title.isEmpty()) title = QFileInfo(output).completeBaseName();
  const int status = pngPage > 0 ? WritePng(doc, pngPage, output) : WritePdf(doc, output, title);
  if (status == 3) std::fprintf(stderr, "zel-mdpdf: cannot write %s\n", qPrintable(output));
  return status;
}
