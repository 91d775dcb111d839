// The Patch page: the map of every device's slots, dragged with the mouse, read from and
// written to the rig, kept in .pat files.

#include <QPainter>
#include <QPushButton>

#include "app/Windows.h"

namespace velquor::app {

void MainWindow::WirePatchPage() {
  workbench::PatchPageController& patch = core_->Bench().PatchPage();
  auto* map = static_cast<MapSurface*>(ui_.PaintBox1);
  map->paint = [this, &patch](QPainter& painter) {
    std::array<workbench::CellFill, 512> fills{};
    WithModels([&] { fills = patch.Fill(); });
    PaintAddressMap(painter, fills, 18, 18);
    ui_.Label28->setText(QString::fromStdString(patch.CursorText()));
  };
  map->pressed = [this, map, &patch](int x, int y) {
    bool picked = false;
    WithModels([&] { picked = patch.Press(x, y); });
    if (picked) {
      RefreshFromModels();
      map->update();
    }
  };
  map->moved = [this, map, &patch](int x, int y, bool left) {
    bool repaint = false;
    WithModels([&] { repaint = patch.Drag(x, y, left); });
    if (repaint) map->update();  // only when the pointer entered another cell
  };
  map->released = [this, map, &patch] {
    WithModels([&] { patch.Release(); });
    RefreshFromModels();
    map->update();
  };
  connect(ui_.Button6, &QAbstractButton::clicked, this, [this] { Button6Click(false); });
  connect(ui_.BitBtn4, &QAbstractButton::clicked, this, [this] { Button6Click(true); });
  connect(ui_.Button7, &QAbstractButton::clicked, this, [this] { Button7Click(false); });
  connect(ui_.BitBtn5, &QAbstractButton::clicked, this, [this] { Button7Click(true); });
  connect(ui_.Button8, &QAbstractButton::clicked, this, [this] { Button8Click(); });
  connect(ui_.BitBtn7, &QAbstractButton::clicked, this, [this] { Button8Click(); });
  connect(ui_.Button9, &QAbstractButton::clicked, this, [this] { Button9Click(); });
  connect(ui_.BitBtn6, &QAbstractButton::clicked, this, [this] { Button9Click(); });
}

void MainWindow::Button6Click(bool rebuildList) {
  workbench::PatchPageController& patch = core_->Bench().PatchPage();
  RunCommand(
      "Read", [&patch, rebuildList] { patch.Read(rebuildList); },
      [this] { ui_.PaintBox1->update(); });
}

void MainWindow::Button7Click(bool rebuildList) {
  workbench::PatchPageController& patch = core_->Bench().PatchPage();
  if (core_->Bench().RefusedWhileBusy("Write")) return DrainLog();
  // Every device gets the address its block shows on the map now.
  std::vector<workbench::AddressAssignment> targets;
  WithModels([&] { targets = patch.WriteOrder(); });
  if (!ConfirmAddresses(targets)) return;
  RunCommand(
      "Write", [&patch, targets, rebuildList] { patch.Write(targets, rebuildList); },
      [this] { ui_.PaintBox1->update(); });
}

void MainWindow::Button8Click() {
  const QString path = dialogs_.saveFile ? dialogs_.saveFile("Patchfile (*.pat)", "") : QString();
  if (path.isEmpty()) return;
  QString target = path;
  if (!target.endsWith(".pat", Qt::CaseInsensitive)) target += ".pat";
  WithModels([&] { core_->Bench().PatchPage().Save(target.toStdString()); });
  DrainLog();
}

void MainWindow::Button9Click() {
  const QString path = dialogs_.openFile ? dialogs_.openFile("Patchfile (*.pat)") : QString();
  if (path.isEmpty()) return;
  WithModels([&] { core_->Bench().PatchPage().Load(path.toStdString()); });
  RefreshFromModels();
  DrainLog();
  ui_.PaintBox1->update();
}

}  // namespace velquor::app
