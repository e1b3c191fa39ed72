#pragma once

#include <QAbstractButton>
#include <QFrame>
#include <QString>
#include <QWidget>

#include "velmoria/SymbolIcon.hpp"
#include "velmoria/Theme.hpp"

class QLabel;
class QHBoxLayout;

namespace velmoria {

class WrappingLabel;

// A row of the home screen that opens a sheet: an icon tile, a title over a one-line subtitle, and a
// chevron, or a lock while a session is locked (the row is then dimmed and disabled).
class SelectionRow : public QAbstractButton {
  Q_OBJECT

 public:
  SelectionRow(Symbol symbol, const QString& title, QWidget* parent = nullptr);

  void setSubtitle(const QString& subtitle);
  const QString& subtitle() const { return subtitle_; }
  void setLocked(bool locked);
  bool isLocked() const { return locked_; }
  void setAppearance(Appearance appearance);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Symbol symbol_;
  QString title_;
  QString subtitle_;
  bool locked_ = false;
  Appearance appearance_ = Appearance::light;
};

// A settings card of the home screen: a symbol, a title over a subtitle, and a control at the trailing
// end. The subtitle wraps onto further lines rather than being cut: a failure's message or a command to
// run must be read whole.
class SettingsCard : public QFrame {
  Q_OBJECT

 public:
  SettingsCard(Symbol symbol, const QString& title, QWidget* parent = nullptr);

  void setSubtitle(const QString& subtitle);
  QString subtitle() const;
  // The card takes the widget over.
  void setTrailing(QWidget* control);
  void setAppearance(Appearance appearance);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Symbol symbol_;
  Appearance appearance_ = Appearance::light;
  QLabel* icon_ = nullptr;
  QLabel* title_ = nullptr;
  WrappingLabel* subtitle_ = nullptr;
  QHBoxLayout* row_ = nullptr;
};

// The capsule under the greeting: a coloured dot and whether a session is being followed or blocks.
class StatusPill : public QWidget {
  Q_OBJECT

 public:
  explicit StatusPill(QWidget* parent = nullptr);
  void setLocked(bool locked);
  void setAppearance(Appearance appearance);
  QString text() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool locked_ = false;
  Appearance appearance_ = Appearance::light;
};

}  // namespace velmoria
