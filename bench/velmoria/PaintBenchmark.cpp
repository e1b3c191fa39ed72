// What the shield costs to repaint while a session blocks: its entrance and glow frames and a whole window,
// each as the window's repaint runs it (offscreen), in CPU time of the whole process (Qt's painting threads
// included). The baseline repaints the same emblem area of the same window the straight way: the wash and
// the glow as gradients, the disc and the title, afresh each frame.
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QVBoxLayout>
#include <cstdlib>
#include <memory>

#include <benchmark/benchmark.h>

#include "velmoria/MacBlockingOverlayView.hpp"
#include "velmoria/OverlayModel.hpp"

namespace {

QApplication& app() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "bench_velmoria_paint";
  static char* argv[] = {name, nullptr};
  static auto* instance = new QApplication(argc, argv);
  return *instance;
}

// Counts the paints of the widgets it watches.
class PaintCounter final : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

PaintCounter& paintCounter() {
  static auto* counter = new PaintCounter;
  return *counter;
}

// Runs the event loop until the repaint that updates asked for has happened (the window system asks for
// it a few milliseconds later; the benchmarks count CPU time, not that wait).
void repaintNow() {
  const int before = paintCounter().paints;
  for (int i = 0; i < 1000 && paintCounter().paints == before; ++i)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

// A translucent full-screen window, as the shield windows are, around some content.
class ShieldLikeWindow {
 public:
  explicit ShieldLikeWindow(std::unique_ptr<QWidget> content) : window_(std::make_unique<QWidget>()) {
    window_->setAttribute(Qt::WA_TranslucentBackground);
    window_->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    content_ = content.release();
    content_->installEventFilter(&paintCounter());
    layout->addWidget(content_);
    window_->setGeometry(0, 0, 1280, 1024);
    window_->show();
    repaintNow();
  }
  QWidget& content() { return *content_; }

 private:
  std::unique_ptr<QWidget> window_;
  QWidget* content_ = nullptr;
};

class StraightShield final : public QWidget {
 public:
  double glow = 0.7;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient wash(0, 0, 0, height());
    wash.setColorAt(0, QColor(20, 30, 90, 235));
    wash.setColorAt(1, QColor(10, 10, 12, 200));
    p.fillRect(rect(), wash);
    const QPointF centre(width() / 2.0, 345);
    QRadialGradient halo(centre, 130);
    halo.setColorAt(0, QColor(94, 106, 255, int(255 * glow * 0.24)));
    halo.setColorAt(1, QColor(94, 106, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(halo);
    p.drawEllipse(centre, 120, 120);
    p.setBrush(QColor(30, 40, 120, 180));
    p.drawEllipse(centre, 52, 52);
    p.setPen(Qt::white);
    p.drawText(QRectF(centre.x() - 100, centre.y() + 140, 200, 50), Qt::AlignCenter, QStringLiteral("Locked."));
  }
};

struct Shield {
  Shield() : model(), window(makeView(model)), view(static_cast<velmoria::MacBlockingOverlayView&>(window.content())) {
    model.setAppName(QStringLiteral("Distraction"));
    view.setAppearProgress(1.0);
    repaintNow();
  }
  static std::unique_ptr<QWidget> makeView(velmoria::OverlayModel& model) {
    auto view = std::make_unique<velmoria::MacBlockingOverlayView>(model, [] {});
    view->setColorScheme(velmoria::Appearance::dark);
    return view;
  }
  velmoria::OverlayModel model;
  ShieldLikeWindow window;
  velmoria::MacBlockingOverlayView& view;
};

void BM_BaselineStraightGlowFrame(benchmark::State& state) {
  app();
  ShieldLikeWindow window(std::make_unique<StraightShield>());
  auto& shield = static_cast<StraightShield&>(window.content());
  const QRect emblem(520, 225, 242, 242);
  for (auto _ : state) {
    shield.glow = shield.glow >= 1.0 ? 0.7 : shield.glow + 0.01;
    shield.update(emblem);
    repaintNow();
  }
}
BENCHMARK(BM_BaselineStraightGlowFrame)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

void BM_ShieldGlowFrame(benchmark::State& state) {
  app();
  Shield shield;
  double glow = 0.7;
  for (auto _ : state) {
    glow = glow >= 1.0 ? 0.7 : glow + 0.01;
    shield.view.setGlow(glow);
    repaintNow();
  }
}
BENCHMARK(BM_ShieldGlowFrame)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

void BM_ShieldEntranceFrame(benchmark::State& state) {
  app();
  Shield shield;
  double progress = 0;
  for (auto _ : state) {
    progress = progress >= 1.0 ? 0.05 : progress + 0.05;
    shield.view.setAppearProgress(progress);
    repaintNow();
  }
}
BENCHMARK(BM_ShieldEntranceFrame)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

void BM_ShieldWholeWindow(benchmark::State& state) {
  app();
  Shield shield;
  for (auto _ : state) {
    shield.view.update();
    repaintNow();
  }
}
BENCHMARK(BM_ShieldWholeWindow)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

}  // namespace
