// The Patch page: the map of every device's slots, dragged with the mouse, read from and
// written to the rig, kept in .pat files.

#include <QPainter>
#include <QPushButton>
#include <algorithm>

#include "app/PageBindings.h"
#include "app/Windows.h"

namespace velquor::app {

PatchPageBinding::PatchPageBinding(PageShell& shell, core::Core& core, const form1::Controls& ui)
    : PageBinding(shell, core, ui) {
  workbench::PatchPageController& patch = core_.Bench().PatchPage();
  auto* map = static_cast<MapSurface*>(ui_.PaintBox1);
  map->paint = [this, map, &patch](QPainter& painter) {
    std::array<workbench::CellFill, 512> fills{};
    std::vector<MapTag> tags;
    int w = 18, h = 18;
    shell_.WithModels([&] {
      // The cells fill the drawing area; the mouse is read with the same cells.
      patch.Map().cellWidth = w = std::max(1, map->width() / workbench::kMapColumns);
      patch.Map().cellHeight = h = std::max(1, map->height() / 16);
      fills = patch.Fill();
      const workbench::DeviceTable& t = core_.Bench().Table();
      tags = MapTagsOf(t, t.SelectedRow(), patch.Map().cursor);
    });
    PaintAddressMap(painter, fills, w, h, tags);
    ui_.Label28->setText(QString::fromStdString(patch.CursorText()));
  };
  map->pressed = [this, map, &patch](int x, int y) {
    bool picked = false;
    shell_.WithModels([&] { picked = patch.Press(x, y); });
    if (picked) {
      shell_.RefreshFromModels();
      map->update();
    }
  };
  map->moved = [this, map, &patch](int x, int y, bool left) {
    bool repaint = false;
    shell_.WithModels([&] { repaint = patch.Drag(x, y, left); });
    if (repaint) map->update();  // only when the pointer entered another cell
  };
  map->released = [this, map, &patch] {
    shell_.WithModels([&] { patch.Release(); });
    shell_.RefreshFromModels();
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

void PatchPageBinding::PageShown() {
  bool unread = false;
  shell_.WithModels([&] {
    const workbench::DeviceTable& t = core_.Bench().Table();
    unread = t.Count() == 0 || t.Devices.front().StartAddressIndex == 0;
  });
  if (unread && !core_.Bench().Executor().CommandActive()) Button6Click(false);
}

void PatchPageBinding::Button6Click(bool rebuildList) {
  workbench::PatchPageController& patch = core_.Bench().PatchPage();
  shell_.RunCommand(
      "Read", [&patch, rebuildList] { patch.Read(rebuildList); },
      [this] { ui_.PaintBox1->update(); });
}

void PatchPageBinding::Button7Click(bool rebuildList) {
  workbench::PatchPageController& patch = core_.Bench().PatchPage();
  if (core_.Bench().RefusedWhileBusy("Write")) return shell_.DrainLog();
  // Every device gets the address its block shows on the map now.
  std::vector<workbench::AddressAssignment> targets;
  shell_.WithModels([&] { targets = patch.WriteOrder(); });
  if (!shell_.ConfirmAddresses(targets)) return;
  shell_.RunCommand(
      "Write", [&patch, targets, rebuildList] { patch.Write(targets, rebuildList); },
      [this] { ui_.PaintBox1->update(); });
}

void PatchPageBinding::Button8Click() {
  const QString path = shell_.SaveFile("Patchfile (*.pat)", "");
  if (path.isEmpty()) return;
  QString target = path;
  if (!target.endsWith(".pat", Qt::CaseInsensitive)) target += ".pat";
  shell_.WithModels([&] { core_.Bench().PatchPage().Save(target.toStdString()); });
  shell_.DrainLog();
}

void PatchPageBinding::Button9Click() {
  const QString path = shell_.OpenFile("Patchfile (*.pat)");
  if (path.isEmpty()) return;
  shell_.WithModels([&] { core_.Bench().PatchPage().Load(path.toStdString()); });
  shell_.RefreshFromModels();
  shell_.DrainLog();
  ui_.PaintBox1->update();
}

}  // namespace velquor::app
