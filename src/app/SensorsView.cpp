// The Sensors window: the panel's fixture's sensors, polled while the window shows, plotted
// with QPainter; Reset min/max and Record as commands on the line.

#include "app/SensorsView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <chrono>

namespace velquor::app {

namespace {

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

SensorPlot::SensorPlot(QWidget* parent) : QWidget(parent) {
  setMinimumSize(460, 130);
}

void SensorPlot::Show(const workbench::SensorReading& reading,
                      const workbench::SensorHistory& history, double now, bool chinese) {
  reading_ = reading;
  history_ = history;
  now_ = now;
  chinese_ = chinese;
  update();
}

void SensorPlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm(font());
  const int lh = fm.height();
  const rdm::SensorDefinition d = reading_.definition.value_or(rdm::SensorDefinition{});
  auto valueText = [&](int16_t v) { return Q(rdm::SensorValueText(d, v)); };

  QString head = QString::number(reading_.number) + "  ";
  if (reading_.definition) {
    head += Q(d.description.empty() ? "-" : d.description) + " — " + Q(rdm::SensorTypeName(d.type));
    head += (chinese_ ? "，正常 " : ", normal ") + valueText(d.normalMin) + " .. " +
            valueText(d.normalMax);
  } else {
    head += chinese_ ? "(无定义)" : "(no definition)";
  }
  QFont bold = font();
  bold.setBold(true);
  p.setFont(bold);
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(4, lh, head);
  p.setFont(font());

  QString line;
  const std::optional<std::pair<int16_t, int16_t>> seen = history_.MinMax();
  if (reading_.value) {
    // The device's own lowest and highest when it keeps them, else what this window saw.
    std::optional<std::pair<int16_t, int16_t>> range = seen;
    if (d.lowestHighestSupported)
      range = std::pair(reading_.value->lowest, reading_.value->highest);
    line = (chinese_ ? "当前 " : "Now ") + valueText(reading_.value->present);
    if (range) {
      line += (chinese_ ? "   最小 " : "   Min ") + valueText(range->first) +
              (chinese_ ? "   最大 " : "   Max ") + valueText(range->second);
    }
  } else {
    p.setPen(Qt::red);
    line = reading_.failure ? Q(reading_.failure->Text()) : QString("-");
  }
  p.drawText(4, 2 * lh + 2, line);

  const QRect plot(70, 2 * lh + 10, std::max(40, width() - 80),
                   std::max(20, height() - 2 * lh - 16));
  p.setPen(palette().color(QPalette::Mid));
  p.fillRect(plot, palette().color(QPalette::Base));
  p.drawRect(plot);
  // The vertical scale takes the normal range and every sample shown.
  double lo = reading_.definition ? d.normalMin : 0, hi = reading_.definition ? d.normalMax : 0;
  bool any = reading_.definition.has_value();
  for (const auto& [at, v] : history_.Samples()) {
    lo = any ? std::min<double>(lo, v) : v;
    hi = any ? std::max<double>(hi, v) : v;
    any = true;
  }
  if (!any) return;
  const double pad = std::max(1.0, (hi - lo) * 0.08);
  lo -= pad;
  hi += pad;
  auto yOf = [&](double v) { return plot.bottom() - (v - lo) / (hi - lo) * plot.height(); };
  auto xOf = [&](double at) {
    return plot.right() - (now_ - at) / workbench::SensorHistory::kSeconds * plot.width();
  };
  if (reading_.definition) {
    const QRectF band(plot.left(), yOf(d.normalMax), plot.width(),
                      yOf(d.normalMin) - yOf(d.normalMax));
    p.fillRect(band.intersected(plot), QColor(0, 170, 0, 45));
  }
  p.setPen(palette().color(QPalette::WindowText));
  // The scale's ends as bare numbers in the unit the values are shown in.
  const int exponent = rdm::SensorPrefixExponent(d.prefix);
  const double scale = exponent == -1 ? 10 : exponent == -2 ? 100 : 1;
  auto axisText = [&](double v) { return QString::number(v / scale, 'f', scale > 1 ? 1 : 0); };
  p.drawText(QRect(0, plot.top() - lh / 2, 66, lh), Qt::AlignRight, axisText(hi));
  p.drawText(QRect(0, plot.bottom() - lh / 2, 66, lh), Qt::AlignRight, axisText(lo));
  QPainterPath path;
  bool first = true;
  for (const auto& [at, v] : history_.Samples()) {
    const QPointF point(std::max<double>(plot.left(), xOf(at)), yOf(v));
    if (first)
      path.moveTo(point);
    else
      path.lineTo(point);
    first = false;
  }
  p.setClipRect(plot);
  p.setPen(QPen(QColor(30, 110, 220), 2));
  p.drawPath(path);
  if (!history_.Samples().empty()) {
    const auto& [at, v] = history_.Samples().back();
    p.setBrush(QColor(30, 110, 220));
    p.drawEllipse(QPointF(xOf(at), yOf(v)), 3, 3);
  }
}

SensorsBinding::SensorsBinding(PageShell& shell, core::Core& core, const form1::Controls& ui)
    : PageBinding(shell, core, ui), window_(std::make_unique<QWidget>(nullptr, Qt::Window)) {
  window_->setObjectName("FormSensors");
  window_->setAttribute(Qt::WA_QuitOnClose, false);  // closing the main window ends the program
  window_->resize(640, 660);
  auto* layout = new QVBoxLayout(window_.get());
  title_ = new QLabel(window_.get());
  layout->addWidget(title_);
  auto* scroll = new QScrollArea(window_.get());
  scroll->setWidgetResizable(true);
  auto* inner = new QWidget(scroll);
  plots_ = new QVBoxLayout(inner);
  plots_->addStretch();
  scroll->setWidget(inner);
  layout->addWidget(scroll, 1);
  auto* row = new QHBoxLayout;
  which_ = new QComboBox(window_.get());
  which_->setObjectName("ComboBoxSensor");
  reset_ = new QPushButton(window_.get());
  reset_->setObjectName("SpeedButtonResetMinMax");
  record_ = new QPushButton(window_.get());
  record_->setObjectName("SpeedButtonRecordSensors");
  row->addWidget(which_, 1);
  row->addWidget(reset_);
  row->addWidget(record_);
  layout->addLayout(row);
  answer_ = new QLabel(window_.get());
  answer_->setObjectName("LabelSensorAnswer");
  layout->addWidget(answer_);
  connect(reset_, &QPushButton::clicked, this, [this] { SendSensorCommand(false); });
  connect(record_, &QPushButton::clicked, this, [this] { SendSensorCommand(true); });
  connect(ui_.SpeedButtonSensors, &QPushButton::clicked, this,
          [this] { SpeedButtonSensorsClick(); });
  pollTimer_.setInterval(1000);
  connect(&pollTimer_, &QTimer::timeout, this, [this] { Poll(); });
}

SensorsBinding::~SensorsBinding() = default;

std::optional<rdm::Uid> SensorsBinding::Fixture() const {
  return watch_ ? std::optional(watch_->Uid()) : std::nullopt;
}

void SensorsBinding::Refresh() {
  ui_.SpeedButtonSensors->setEnabled(
      workbench::SensorViewTarget(core_.Bench().Panel()).has_value());
}

void SensorsBinding::SpeedButtonSensorsClick() {
  std::optional<rdm::Uid> target;
  std::string label;
  shell_.WithModels([&] {
    target = workbench::SensorViewTarget(core_.Bench().Panel());
    label = core_.Bench().Panel().label;
  });
  if (!target) return;
  // Opened anew for another fixture: nothing of the previous one is kept.
  if (!watch_ || watch_->Uid() != *target) {
    watch_.emplace(*target);
    ++generation_;
    pollInFlight_ = false;
    answer_->clear();
  }
  window_->setProperty("fixtureLabel", Q(label));
  ApplyTexts();
  ShowSensors();
  window_->show();
  window_->raise();
  Poll();
  pollTimer_.start();
}

void SensorsBinding::ApplyTexts() {
  const bool chinese = shell_.CurrentLanguage() == "CHS";
  const QString label = window_->property("fixtureLabel").toString();
  const QString fixture =
      "0x" + Q(watch_ ? rdm::UidText12(watch_->Uid()) : "") + (label.isEmpty() ? "" : " " + label);
  window_->setWindowTitle((chinese ? "传感器 — " : "Sensors — ") + fixture);
  title_->setText(
      (chinese ? "灯具 " : "Fixture ") + fixture +
      (chinese ? "（每秒读取一次，显示最近 5 分钟）" : " (read every second; the last 5 minutes)"));
  reset_->setText(chinese ? "复位最小/最大值" : "Reset min/max");
  record_->setText(chinese ? "记录当前值" : "Record");
}

void SensorsBinding::ShowSensors() {
  if (!watch_) return;
  const bool chinese = shell_.CurrentLanguage() == "CHS";
  const workbench::SensorSet& set = watch_->Set();
  while (plotWidgets_.size() < set.sensors.size()) {
    auto* plot = new SensorPlot(plots_->parentWidget());
    plots_->insertWidget(static_cast<int>(plotWidgets_.size()), plot);
    plotWidgets_.push_back(plot);
  }
  while (plotWidgets_.size() > set.sensors.size()) {
    delete plotWidgets_.back();
    plotWidgets_.pop_back();
  }
  const double now = NowSeconds();
  for (size_t i = 0; i < set.sensors.size(); ++i) {
    plotWidgets_[i]->Show(set.sensors[i], watch_->Histories()[i], now, chinese);
  }
  // The choice of Reset min/max and Record: every sensor, or one.
  if (which_->count() != static_cast<int>(set.sensors.size()) + 1) {
    which_->clear();
    which_->addItem(chinese ? "全部传感器" : "All sensors", rdm::kAllSensors);
    for (const workbench::SensorReading& s : set.sensors) {
      which_->addItem(QString::number(s.number) + " " +
                          Q(s.definition ? s.definition->description : std::string()),
                      s.number);
    }
  }
  record_->setEnabled(set.listsRecord);
  if (set.DefinitionsRead() && set.sensors.empty()) {
    answer_->setText(chinese ? "该灯具没有传感器" : "The fixture reports no sensors");
  }
}

void SensorsBinding::Poll() {
  if (!watch_ || !window_->isVisible() || shell_.Closed()) {
    pollTimer_.stop();
    return;
  }
  if (pollInFlight_) return;
  // Built now from the window's own fixture; the line runs it when it is free, so a command
  // in hand is never held up (this second's values are skipped instead).
  auto poll = watch_->NextPoll();
  const uint64_t generation = generation_;
  workbench::DeviceOperations& ops = core_.Bench().Operations();
  pollInFlight_ = core_.Bench().Executor().TryRunIdle([this, poll, &ops, generation] {
    workbench::SensorSet set = poll(ops);
    QMetaObject::invokeMethod(
        this, [this, set = std::move(set), generation] { TakePoll(set, generation); },
        Qt::QueuedConnection);
  });
}

void SensorsBinding::TakePoll(workbench::SensorSet set, uint64_t generation) {
  if (generation != generation_) return;
  pollInFlight_ = false;
  watch_->Take(std::move(set), NowSeconds());
  ShowSensors();
  shell_.DrainLog();
}

void SensorsBinding::SendSensorCommand(bool record) {
  if (!watch_) return;
  const bool chinese = shell_.CurrentLanguage() == "CHS";
  // The fixture this window names and the sensor chosen as it stands now.
  const rdm::Uid uid = watch_->Uid();
  const auto number = static_cast<uint8_t>(which_->currentData().toUInt());
  auto result = std::make_shared<workbench::SensorCommandResult>();
  workbench::DeviceOperations& ops = core_.Bench().Operations();
  const char* name = record ? "Record sensors" : "Reset min/max";
  const bool started = shell_.RunCommand(
      name,
      [&ops, uid, number, record, result] {
        *result = record ? workbench::RecordSensors(ops, uid, number)
                         : workbench::ResetSensorValues(ops, uid, number);
      },
      [this, result, name, chinese, number] {
        QString text = QString(name) + (chinese ? "：" : ": ") + Q(result->outcome.Text());
        if (result->value && number != rdm::kAllSensors && watch_) {
          const auto& sensors = watch_->Set().sensors;
          rdm::SensorDefinition d;
          if (number < sensors.size() && sensors[number].definition)
            d = *sensors[number].definition;
          text += " (" + Q(rdm::SensorValueText(d, result->value->present)) + ")";
        }
        answer_->setText(text);
      });
  if (!started) answer_->setText(chinese ? "线路忙，未发送" : "The line is busy: not sent");
}

}  // namespace velquor::app
