// velmoria: signs in, follows the user's focus session and blocks while it asks to.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QThreadPool>
#include <cstdio>
#include <system_error>

#include "velmoria/BackendClient.hpp"
#include "velmoria/ContentView.hpp"
#include "velmoria/SingleInstance.hpp"
#include "velmoria/VelmoriaApp.hpp"

namespace {

// sysexits.h: configuration error.
constexpr int kConfigurationError = 78;

}  // namespace

int main(int argc, char** argv) {
  // The backend is configured before anything else: without it the app has nothing to show.
  std::shared_ptr<zirudeze::ZirudezeClient> client;
  std::optional<std::string> ownIdentifier;
  try {
    client = velmoria::makeBackendClient();
    ownIdentifier = velmoria::ownAppIdentifier(velmoria::mainInfoDictionary());
  } catch (const velmoria::ConfigurationError& error) {
    std::fprintf(stderr, "velmoria: %s\n", error.what());
    return kConfigurationError;
  }

  QApplication qt(argc, argv);
  QGuiApplication::setApplicationName(QStringLiteral("velmoria"));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("velmoria"));
  QGuiApplication::setDesktopFileName(QStringLiteral("velmoria"));
  // Qt splits every larger fill over the shared pool's threads: for the few small regions a glow frame
  // repaints, waking a thread per core cost more than the painting. Two keep a background job (the app
  // picker's scan) from holding up a frame.
  QThreadPool::globalInstance()->setMaxThreadCount(2);

  std::unique_ptr<velmoria::SingleInstance> instance;
  try {
    instance = std::make_unique<velmoria::SingleInstance>(velmoria::SingleInstance::defaultSocketPath());
  } catch (const std::system_error& error) {
    std::fprintf(stderr, "velmoria: no private runtime folder (%s); later launches will not find this one\n",
                 error.what());
  }
  if (instance && !instance->isPrimary()) return 0;

  velmoria::VelmoriaApp app(std::move(client), std::move(ownIdentifier));
  if (instance) QObject::connect(instance.get(), &velmoria::SingleInstance::reopenRequested, [&app] { app.reopen(); });

  auto& window = app.window();
  QSize size(540, 860);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) size = size.boundedTo(screen->availableSize());
  window.resize(
      size.expandedTo(QSize(velmoria::ContentView::minimumWindowWidth, velmoria::ContentView::minimumWindowHeight)));
  window.show();
  window.raise();
  window.activateWindow();
  return qt.exec();
}
