// The controls made from the control table, pictures, and the addressing window "Form2".

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/Language.h"
#include "app/WidgetUpdates.h"
#include "app/Windows.h"
#include "common/Files.h"
#include "rdm/KnownPids.h"

namespace velquor::app {

const ControlSpec* FindControl(std::span<const ControlSpec> table, const char* name) {
  for (const ControlSpec& s : table) {
    if (std::strcmp(s.name, name) == 0) return &s;
  }
  return nullptr;
}

const char* DesignedText(std::span<const ControlSpec> table, const char* name) {
  const ControlSpec* s = FindControl(table, name);
  return s ? s->text : "";
}

void PlaceGrown(QWidget* control, std::span<const ControlSpec> table, int dx, int dw, int dy,
                int dh) {
  const ControlSpec* s =
      control ? FindControl(table, control->objectName().toUtf8().constData()) : nullptr;
  if (!s) return;
  control->setGeometry(s->x + dx, s->y + dy, std::max(1, s->w + dw), std::max(1, s->h + dh));
}

bool HasCaption(const char* kind) {
  const std::string k = kind;
  return k == "L" || k == "B" || k == "C" || k == "GB" || k == "P" || k == "TAB";
}

dmx::OutputMode OutputModeOfPage(int tabIndex) {
  switch (tabIndex) {  // TabSheet1..8: RDM, Patch, Art-Net, DMX, IAP, 3D DMX, radio, console
    case 2:
      return dmx::OutputMode::ArtNet;
    case 3:
      return dmx::OutputMode::Desk;
    case 4:
      return dmx::OutputMode::Firmware;
    case 5:
      return dmx::OutputMode::Silent;
    case 7:
      return dmx::OutputMode::RdmConsole;
    default:  // also no page (-1)
      return dmx::OutputMode::RdmLine;
  }
}

namespace {

QWidget* MakeControl(const ControlSpec& s, QWidget* parent) {
  const std::string kind = s.kind;
  const QString caption = QString::fromUtf8(s.caption);
  QWidget* w = nullptr;
  if (kind == "L") {
    w = new QLabel(caption, parent);
  } else if (kind == "P") {
    auto* panel = new QLabel(caption, parent);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignCenter);
    w = panel;
  } else if (kind == "B") {
    w = new QPushButton(caption, parent);
  } else if (kind == "C") {
    w = new QCheckBox(caption, parent);
  } else if (kind == "GB") {
    w = new QGroupBox(caption, parent);
  } else if (kind == "E") {
    auto* edit = new QLineEdit(QString::fromUtf8(s.text), parent);
    edit->setReadOnly(std::string(s.flags).find('r') != std::string::npos);
    w = edit;
  } else if (kind == "CB" || kind == "CBE") {
    auto* combo = new QComboBox(parent);
    combo->setEditable(kind == "CBE");
    const QString items = QString::fromUtf8(s.items);
    if (!items.isEmpty()) combo->addItems(items.split('|'));
    w = combo;
  } else if (kind == "LV" || kind == "G" || kind == "VLE") {
    auto* table = new QTableWidget(parent);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(20);
    if (kind == "VLE") {
      table->setColumnCount(2);
      table->setHorizontalHeaderLabels({"Key", "Value"});
    }
    w = table;
  } else if (kind == "LB" || kind == "FL") {
    w = new QListWidget(parent);
  } else if (kind == "SBV" || kind == "UD") {
    auto* bar = new QScrollBar(Qt::Vertical, parent);
    bar->setRange(kind == "UD" ? 1 : 0, kind == "UD" ? 512 : 255);
    if (kind == "UD") bar->setInvertedControls(true);
    w = bar;
  } else if (kind == "SBH") {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setRange(0, 500);
    w = bar;
  } else if (kind == "M") {
    auto* memo = new QPlainTextEdit(QString::fromUtf8(s.text), parent);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setReadOnly(std::string(s.flags).find('r') != std::string::npos);
    w = memo;
  } else if (kind == "PB") {
    w = new QProgressBar(parent);
  } else if (kind == "IMG") {
    auto* image = new QLabel(parent);
    image->setScaledContents(true);
    w = image;
  } else {  // PX: a drawing surface
    w = new MapSurface(parent);
  }
  w->setObjectName(s.name);
  w->setGeometry(s.x, s.y, s.w, s.h);
  const std::string flags = s.flags;
  if (flags.find('h') != std::string::npos) w->setVisible(false);
  if (flags.find('d') != std::string::npos) w->setEnabled(false);
  if (kind == "GB") w->lower();
  return w;
}

}  // namespace

void LoadPicture(QLabel* label, const std::string& workDir, const std::string& programDir,
                 const char* file) {
  if (!label) return;
  for (const std::string& dir : {workDir, programDir}) {
    QPixmap pixmap(QString::fromStdString(common::PathIn(dir, file)));
    if (pixmap.isNull()) continue;
    label->setPixmap(pixmap);
    return;
  }
  // The program carries its own: the language button never vanishes.
  label->setPixmap(QPixmap(QString(":/velquor/") + file));
}

void CentreOnScreen(QWidget* window) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect s = screen->geometry();
  const QRect frame = window->frameGeometry();
  window->move((s.width() - frame.width()) / 2, (s.height() - frame.height()) / 2);
}

void BuildControls(QWidget* root, QTabWidget* pages, std::span<const ControlSpec> table) {
  for (const ControlSpec& s : table) {
    if (std::string(s.kind) == "TAB") continue;
    QWidget* parent = root;
    if (s.page > 0 && pages) parent = pages->widget(s.page - 1);
    MakeControl(s, parent);
  }
}

// ---------------------------------------------------------------- addressing window

AddressingWindow::AddressingWindow(const std::string& programDir, const std::string& defaultsDir,
                                   std::function<void(const QString&)> showError,
                                   std::function<void(const std::string&)> log)
    : programDir_(programDir),
      defaultsDir_(defaultsDir),
      showError_(std::move(showError)),
      log_(std::move(log)) {
  setObjectName("Form2");
  setWindowTitle("RDM System");
  setMinimumSize(931, 595);
  resize(931, 595);
  BuildControls(this, nullptr, kAddressingControls);
  ui_.Bind(*this);
  ui_.ListView1->setColumnCount(4);
  ui_.ListView1->setHorizontalHeaderLabels({"No.", "Addr", "Ch", "Label"});
  for (int c = 0; c < 3; ++c) ui_.ListView1->setColumnWidth(c, 40);
  ui_.ListView1->horizontalHeader()->setStretchLastSection(true);
  ApplyLanguageAddressing();
  CentreOnScreen(this);
}

// The map and the list take the room beyond the design size; the rest keeps its place.
void AddressingWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int dw = width() - 931;
  const int dh = height() - 595;
  const form2::Controls& u = ui_;
  PlaceGrown(u.PaintBox1, kAddressingControls, 0, dw, 0, dh);
  PlaceGrown(u.ListView1, kAddressingControls, dw, 0, 0, dh);
  for (QWidget* w : {static_cast<QWidget*>(u.LabelAddr), static_cast<QWidget*>(u.LabelUID)}) {
    PlaceGrown(w, kAddressingControls, dw, 0, 0, 0);
  }
  for (size_t k = 0; k < 12; ++k) {
    for (QWidget* w :
         {static_cast<QWidget*>(u.Label_Cs()[k]), static_cast<QWidget*>(u.ScrollBars()[k]),
          static_cast<QWidget*>(u.Label_Ds()[k])}) {
      PlaceGrown(w, kAddressingControls, 0, 0, dh, 0);
    }
  }
  PlaceGrown(u.ScrollBarDMX, kAddressingControls, 0, dw, dh, 0);
  for (QWidget* w : {u.SpeedButtonclear, u.SpeedButton1, u.SpeedButton2, u.SpeedButton4,
                     u.SpeedButton5, u.SpeedButton6, u.SpeedButton7}) {
    PlaceGrown(w, kAddressingControls, dw, 0, dh, 0);
  }
}

MapSurface* AddressingWindow::Map() const {
  return static_cast<MapSurface*>(ui_.PaintBox1);
}

void MapSurface::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (paint) paint(painter);
}

void MapSurface::mousePressEvent(QMouseEvent* event) {
  if (pressed)
    pressed(static_cast<int>(event->position().x()), static_cast<int>(event->position().y()));
}

void MapSurface::mouseMoveEvent(QMouseEvent* event) {
  if (moved) {
    moved(static_cast<int>(event->position().x()), static_cast<int>(event->position().y()),
          (event->buttons() & Qt::LeftButton) != 0);
  }
}

void MapSurface::mouseReleaseEvent(QMouseEvent*) {
  if (released) released();
}

std::vector<MapTag> MapTagsOf(const workbench::DeviceTable& table, int selected, int cursor) {
  std::vector<MapTag> tags;
  for (int row = 0; row < table.Count(); ++row) {
    const workbench::DeviceRecord& d = table.Devices[static_cast<size_t>(row)];
    if (d.Footprint == 0) continue;  // no block to write on
    const int start = row == selected ? cursor : d.StartAddressIndex;
    const QString name = d.Label.empty() ? QString::fromStdString(rdm::UidText12(d.Uid))
                                         : QString::fromStdString(d.Label);
    tags.push_back({start, d.Footprint, QString("%1 %2").arg(start + 1).arg(name)});
  }
  return tags;
}

void PaintAddressMap(QPainter& painter, const std::array<workbench::CellFill, 512>& fills,
                     int cellWidth, int cellHeight, const std::vector<MapTag>& tags) {
  static const QColor kFill[] = {QColor(255, 255, 255), QColor(0, 255, 0), QColor(128, 0, 128),
                                 QColor(255, 0, 0), QColor(0, 0, 255)};
  painter.setPen(Qt::black);
  for (int k = 0; k < 512; ++k) {
    const QRect cell((k % 32) * cellWidth, (k / 32) * cellHeight, cellWidth, cellHeight);
    painter.fillRect(cell, kFill[static_cast<int>(fills[static_cast<size_t>(k)])]);
    painter.drawRect(cell.adjusted(0, 0, -1, -1));
  }
  // Each block's name on its first line of cells, cut at the block's end and the map's edge.
  QFont font = painter.font();
  font.setPixelSize(std::clamp(cellHeight * 2 / 3, 7, 14));
  painter.setFont(font);
  for (const MapTag& tag : tags) {
    if (tag.start < 0 || tag.start >= 512) continue;
    const int column = tag.start % 32;
    const int cells = std::min(tag.footprint, 32 - column);
    const QRect area(column * cellWidth + 2, (tag.start / 32) * cellHeight, cells * cellWidth - 3,
                     cellHeight);
    painter.save();
    painter.setClipRect(area);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, tag.text);
    painter.restore();
  }
}

void AddressingWindow::ApplyLanguageAddressing() {
  LanguageTarget t{this, "Form2", "lang_ch_2.ini", "lang_en_2.ini", "RDM System", "0x002e2e2e",
                   true, log_,    languageOverride};
  ApplyLanguage(t, programDir_, defaultsDir_, showError_);
}

}  // namespace velquor::app
