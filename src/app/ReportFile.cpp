#include "app/ReportFile.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <algorithm>
#include <memory>

#include "common/Files.h"

namespace velquor::app {

namespace {

constexpr int kDpi = 300;
double Mm(double mm) {
  return mm * kDpi / 25.4;
}

const QColor kFree(255, 255, 255), kOne(0, 200, 0), kMany(230, 0, 0);
const QColor kGapRow(235, 235, 235), kOverlapRow(255, 221, 221);

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Text wrapped into `width`, at word boundaries where it can and anywhere where a word is
// longer than the line (a list of UIDs): nothing of a cell is cut off.
class Wrapped {
 public:
  Wrapped(const QString& text, const QFont& font, QPaintDevice* device, double width)
      : layout_(text, font, device) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout_.setTextOption(option);
    layout_.beginLayout();
    for (QTextLine line = layout_.createLine(); line.isValid(); line = layout_.createLine()) {
      line.setLineWidth(width);
      line.setPosition(QPointF(0, height_));
      height_ += line.height();
    }
    layout_.endLayout();
  }
  double Height() const { return height_; }
  void Draw(QPainter& painter, QPointF at) const { layout_.draw(&painter, at); }

 private:
  QTextLayout layout_;
  double height_ = 0;
};

class ReportPainter {
 public:
  ReportPainter(QPdfWriter& pdf, const workbench::ReportTexts& texts)
      : pdf_(pdf), texts_(texts), painter_(&pdf) {
    base_ = painter_.font();
    base_.setPointSizeF(8);
    const QRect page = pdf.pageLayout().paintRectPixels(kDpi);
    width_ = page.width();
    height_ = page.height();
  }

  void Paint(const workbench::PatchReport& report, std::string_view generatedAt) {
    QFont title = base_;
    title.setPointSizeF(16);
    title.setBold(true);
    y_ += Text(Q(texts_.title), title, 0, y_, width_) + Mm(1);
    const QString summary = QString("%1: %2 · %3: %4 · %5: %6 · %7: %8 · %9: %10")
                                .arg(Q(texts_.generated), Q(std::string(generatedAt)))
                                .arg(Q(texts_.fixtures))
                                .arg(report.rows.size())
                                .arg(Q(texts_.patched))
                                .arg(report.patched)
                                .arg(Q(texts_.overlapping))
                                .arg(report.overlapping)
                                .arg(Q(texts_.freeSlots))
                                .arg(report.freeSlots);
    QFont summaryFont = base_;
    summaryFont.setPointSizeF(9);
    y_ += Text(summary, summaryFont, 0, y_, width_) + Mm(3);
    Map(report);
    Table(report);
  }

 private:
  double Text(const QString& text, const QFont& font, double x, double y, double width) {
    Wrapped w(text, font, &pdf_, width);
    w.Draw(painter_, QPointF(x, y));
    return w.Height();
  }

  // The 512 addresses, 32 to a line; each fixture's start address on its first cell.
  void Map(const workbench::PatchReport& report) {
    const double label = Mm(10), cell = Mm(5.2);
    QFont small = base_;
    small.setPointSizeF(5.5);
    painter_.setFont(small);
    for (int line = 0; line < 16; ++line) {
      const QRectF at(0, y_ + line * cell, label - Mm(1), cell);
      painter_.setPen(Qt::black);
      painter_.drawText(at, Qt::AlignRight | Qt::AlignVCenter, QString::number(line * 32 + 1));
      for (int column = 0; column < 32; ++column) {
        const int n = report.fixturesOnSlot[static_cast<size_t>(line * 32 + column)];
        const QRectF c(label + column * cell, y_ + line * cell, cell, cell);
        painter_.fillRect(c, n == 0 ? kFree : n == 1 ? kOne : kMany);
        painter_.setPen(QPen(Qt::black, Mm(0.15)));
        painter_.drawRect(c);
      }
    }
    for (const workbench::PatchReportRow& r : report.rows) {
      if (!r.end || *r.start > 512) continue;
      const int slot = *r.start - 1;
      const QRectF c(label + (slot % 32) * cell, y_ + (slot / 32) * cell, cell, cell);
      painter_.setPen(Qt::black);
      painter_.drawText(c, Qt::AlignCenter, QString::number(*r.start));
    }
    y_ += 16 * cell + Mm(2);
    // The legend: a swatch and its word for each fill.
    double x = 0;
    QFont legend = base_;
    painter_.setFont(legend);
    const QFontMetricsF metrics(legend, &pdf_);
    painter_.drawText(QPointF(x, y_ + metrics.ascent()), Q(texts_.legend));
    x += metrics.horizontalAdvance(Q(texts_.legend)) + Mm(2);
    for (const auto& [colour, word] :
         {std::pair{kFree, &texts_.legendFree}, std::pair{kOne, &texts_.legendOne},
          std::pair{kMany, &texts_.legendMany}}) {
      const QRectF swatch(x, y_ + Mm(0.3), Mm(3), Mm(3));
      painter_.fillRect(swatch, colour);
      painter_.setPen(QPen(Qt::black, Mm(0.15)));
      painter_.drawRect(swatch);
      x += Mm(4);
      painter_.drawText(QPointF(x, y_ + metrics.ascent()), Q(*word));
      x += metrics.horizontalAdvance(Q(*word)) + Mm(5);
    }
    y_ += metrics.height() + Mm(4);
  }

  void Table(const workbench::PatchReport& report) {
    static constexpr double kWidths[] = {30, 40, 30, 30, 30, 15, 19, 15};  // mm; marks: the rest
    double used = 0;
    for (double w : kWidths) {
      columns_.push_back(Mm(w));
      used += Mm(w);
    }
    columns_.push_back(width_ - used);
    QFont bold = base_;
    bold.setBold(true);
    std::vector<QString> header;
    for (const std::string& c : texts_.columns) header.push_back(Q(c));
    header.push_back(Q(texts_.marks));
    header_ = header;
    Row(header_, bold, QColor(210, 210, 210));
    QFont italic = base_;
    italic.setItalic(true);
    for (const workbench::PatchReportRow& r : report.rows) {
      if (r.gapBefore) {
        Row({Q(texts_.gap + " " + workbench::GapText(*r.gapBefore))}, italic, kGapRow);
      }
      auto number = [](const std::optional<int>& n) { return n ? QString::number(*n) : QString(); };
      Row({Q("0x" + rdm::UidText12(r.uid)), Q(r.label), Q(r.manufacturer), Q(r.model),
           Q(r.personality), number(r.start), number(r.footprint), number(r.end),
           Q(workbench::RowMarks(r, texts_))},
          base_, r.overlaps.empty() && !r.pastEnd ? kFree : kOverlapRow);
    }
    QFont note = base_;
    note.setItalic(true);
    y_ += Mm(2);
    if (y_ + Mm(5) > height_) NewPage();
    Text(Q(texts_.notRead), note, 0, y_, width_);
  }

  // One row of cells (a single cell spans the table), its height that of its tallest cell;
  // a row that does not fit goes to a new page under the header again.
  void Row(const std::vector<QString>& cells, const QFont& font, const QColor& fill) {
    const double pad = Mm(0.8);
    std::vector<std::unique_ptr<Wrapped>> wrapped;
    double height = 0;
    for (size_t c = 0; c < cells.size(); ++c) {
      const double w = cells.size() == 1 ? width_ : columns_[c];
      wrapped.push_back(std::make_unique<Wrapped>(cells[c], font, &pdf_, w - 2 * pad));
      height = std::max(height, wrapped.back()->Height());
    }
    height += 2 * pad;
    if (y_ + height > height_ && &cells != &header_) {
      NewPage();
      Row(
          header_,
          [&] {
            QFont bold = base_;
            bold.setBold(true);
            return bold;
          }(),
          QColor(210, 210, 210));
    }
    double x = 0;
    for (size_t c = 0; c < cells.size(); ++c) {
      const double w = cells.size() == 1 ? width_ : columns_[c];
      const QRectF box(x, y_, w, height);
      painter_.fillRect(box, fill);
      painter_.setPen(QPen(QColor(120, 120, 120), Mm(0.15)));
      painter_.drawRect(box);
      painter_.setPen(Qt::black);
      wrapped[c]->Draw(painter_, QPointF(x + pad, y_ + pad));
      x += w;
    }
    y_ += height;
  }

  void NewPage() {
    pdf_.newPage();
    y_ = 0;
  }

  QPdfWriter& pdf_;
  const workbench::ReportTexts& texts_;
  QPainter painter_;
  QFont base_;
  double width_ = 0, height_ = 0, y_ = 0;
  std::vector<double> columns_;
  std::vector<QString> header_;
};

}  // namespace

bool WritePatchReportPdf(const workbench::PatchReport& report, const workbench::ReportTexts& texts,
                         std::string_view generatedAt, const std::string& path,
                         std::string& error) {
  // Painting text needs a Qt application; velquor-cli has none and may have no display.
  std::unique_ptr<QGuiApplication> app;
  static int argc = 3;
  static char arg0[] = "velquor", arg1[] = "-platform", arg2[] = "offscreen";
  static char* argv[] = {arg0, arg1, arg2, nullptr};
  if (!QGuiApplication::instance()) app = std::make_unique<QGuiApplication>(argc, argv);

  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    pdf.setResolution(kDpi);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    pdf.setTitle(Q(texts.title));
    pdf.setCreator("Velquor Pro");
    ReportPainter painter(pdf, texts);
    painter.Paint(report, generatedAt);
  }
  const QByteArray& bytes = buffer.data();
  return common::WriteFileAtomic(path, std::string(bytes.constData(), bytes.size()), error);
}

bool WritePatchReport(const workbench::PatchReport& report, const workbench::ReportTexts& texts,
                      std::string_view generatedAt, const std::string& path, std::string& error) {
  const auto format = workbench::ReportFormatOf(path);
  if (!format) {
    error = "a report is a .pdf, .html, .htm or .csv file";
    return false;
  }
  switch (*format) {
    case workbench::ReportFormat::Pdf:
      return WritePatchReportPdf(report, texts, generatedAt, path, error);
    case workbench::ReportFormat::Html:
      return common::WriteFileAtomic(path, workbench::PatchReportHtml(report, texts, generatedAt),
                                     error);
    case workbench::ReportFormat::Csv:
      break;
  }
  return common::WriteFileAtomic(path, workbench::PatchReportCsv(report), error);
}

}  // namespace velquor::app
