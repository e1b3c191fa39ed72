#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QMargins>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QWidget>

class QHBoxLayout;

namespace velmoria {

// One line of text that never wraps: when it does not fit it first shrinks, down to `minimumScale` of
// its font size, then is cut with an ellipsis.
class OneLineLabel : public QWidget {
  Q_OBJECT

 public:
  explicit OneLineLabel(QWidget* parent = nullptr);

  void setText(const QString& text);
  const QString& text() const { return text_; }
  void setTextFont(const QFont& font);
  void setColour(const QColor& colour);
  void setMinimumScale(double scale);
  void setAlignment(Qt::Alignment alignment);
  // The text as it is drawn at the current width, and the pixel size it is drawn at.
  QString shownText() const;
  int shownPixelSize() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QFont fittedFont() const;

  QString text_;
  QFont font_;
  QColor colour_;
  double minimumScale_ = 1.0;
  Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};

// Text that takes as many lines as it needs at the width it is given: lines break between words, and
// inside a word (a long path) only where the word alone is wider than the line. Nothing is ever cut.
class WrappingLabel : public QWidget {
  Q_OBJECT

 public:
  explicit WrappingLabel(QWidget* parent = nullptr);

  void setText(const QString& text);
  const QString& text() const { return text_; }
  void setTextFont(const QFont& font);
  void setColour(const QColor& colour);
  // The lines the text takes at `width`.
  QStringList lines(int width) const;

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QString text_;
  QFont font_;
  QColor colour_;
};

// Holds one widget at the full width it is given up to `maximumWidth` (beyond the margins), centred.
class CentredBox : public QWidget {
  Q_OBJECT

 public:
  CentredBox(QWidget* content, int maximumWidth, QMargins margins = {}, QWidget* parent = nullptr);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QHBoxLayout* layout_;
  int maximumWidth_;
  QMargins margins_;
};

// A spinning indicator of work under way; it turns only while it is visible.
class ActivityIndicator : public QWidget {
  Q_OBJECT

 public:
  explicit ActivityIndicator(int diameter, QWidget* parent = nullptr);
  void setColour(const QColor& colour);
  QSize sizeHint() const override { return {diameter_, diameter_}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  int diameter_;
  int step_ = 0;
  QColor colour_;
  QTimer timer_;
};

// A switch that shows the state it is given: a click only asks for the other state (clicked()), and
// the owner sets what actually holds.
class ToggleSwitch : public QAbstractButton {
  Q_OBJECT

 public:
  explicit ToggleSwitch(QWidget* parent = nullptr);
  void setOn(bool on);
  bool isOn() const { return on_; }
  void setColours(const QColor& tint, const QColor& offTrack);
  QSize sizeHint() const override { return {38, 22}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool on_ = false;
  QColor tint_;
  QColor offTrack_;
};

// The sign-in screen's two main buttons, drawn as their label: the title on a pill, the accent when enabled,
// faded when not.
class PrimaryButtonLabel : public QPushButton {
  Q_OBJECT

 public:
  explicit PrimaryButtonLabel(QWidget* parent = nullptr);
  void setDisabledFill(const QColor& colour);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor disabledFill_;
};

}  // namespace velmoria
