#pragma once
// Small updates of widgets from model values that leave a widget alone when it already
// shows the value (no repaint, no signal).

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QSignalBlocker>
#include <string>

#include "workbench/Workbench.h"

namespace velquor::app {

inline void SetText(QLineEdit* edit, const std::string& text) {
  const QString t = QString::fromStdString(text);
  if (edit->text() != t) edit->setText(t);
}

inline void SetText(QLabel* label, const std::string& text) {
  const QString t = QString::fromStdString(text);
  if (label->text() != t) label->setText(t);
}

inline void SetItems(QComboBox* combo, const workbench::ChoiceList& list) {
  QStringList items;
  for (const auto& i : list.items) items << QString::fromStdString(i);
  QStringList current;
  for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
  if (current != items) {
    QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(items);
  }
  if (combo->currentIndex() != list.itemIndex) combo->setCurrentIndex(list.itemIndex);
}

inline void SetColour(QWidget* w, const workbench::Rgb& c) {
  if (w->palette().color(QPalette::Base) == QColor(c.r, c.g, c.b)) return;  // no repaint
  QPalette p = w->palette();
  p.setColor(QPalette::Base, QColor(c.r, c.g, c.b));
  p.setColor(QPalette::Text, QColor(0, 0, 0));
  w->setPalette(p);
}

}  // namespace velquor::app
