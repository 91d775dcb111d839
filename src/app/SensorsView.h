#pragma once
// The Sensors window (SpeedButtonSensors on the RDM page's panel): the sensors of the fixture
// the panel held when it was opened, each plotted over the last minutes, polled once a second
// on the line's executor while the window shows.

#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "app/PageBindings.h"
#include "workbench/Sensors.h"

class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace velquor::app {

// One sensor: its words, the present value with the lowest and highest, and the history as a
// line over the shaded normal range.
class SensorPlot : public QWidget {
 public:
  explicit SensorPlot(QWidget* parent);
  void Show(const workbench::SensorReading& reading, const workbench::SensorHistory& history,
            double now, bool chinese);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  workbench::SensorReading reading_;
  workbench::SensorHistory history_;
  double now_ = 0;
  bool chinese_ = false;
};

class SensorsBinding : public PageBinding {
 public:
  SensorsBinding(PageShell& shell, core::Core& core, const form1::Controls& ui);
  ~SensorsBinding() override;
  void SpeedButtonSensorsClick();
  // The button follows the panel: enabled for a fixture that lists SENSOR_DEFINITION (models
  // held).
  void Refresh();
  QWidget& Window() { return *window_; }
  // The fixture the window names (nothing before it was first opened).
  std::optional<rdm::Uid> Fixture() const;

 private:
  void Poll();
  void TakePoll(workbench::SensorSet set, uint64_t generation);
  void ShowSensors();
  void ApplyTexts();
  void SendSensorCommand(bool record);

  std::unique_ptr<QWidget> window_;
  QLabel* title_ = nullptr;
  QVBoxLayout* plots_ = nullptr;
  QComboBox* which_ = nullptr;
  QPushButton* reset_ = nullptr;
  QPushButton* record_ = nullptr;
  QLabel* answer_ = nullptr;
  std::vector<SensorPlot*> plotWidgets_;
  std::optional<workbench::SensorWatch> watch_;
  QTimer pollTimer_;
  bool pollInFlight_ = false;
  uint64_t generation_ = 0;  // a poll for the window as it was before a reopen is dropped
};

}  // namespace velquor::app
