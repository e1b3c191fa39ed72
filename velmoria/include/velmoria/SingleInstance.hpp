#pragma once

#include <QObject>
#include <filesystem>
#include <memory>

class QLocalServer;

namespace velmoria {

// One running app per user: the first launch listens on a local socket in the user's private runtime
// folder; a later launch finds it there, asks it to bring its window back, and is told to exit.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // <the per-user temporary folder>/velmoria.socket
  static std::filesystem::path defaultSocketPath();

  explicit SingleInstance(std::filesystem::path socketPath, QObject* parent = nullptr);
  ~SingleInstance() override;

  // False when another instance answered; it has then been asked to reopen.
  bool isPrimary() const { return primary_; }
  // Whether this instance listens for later launches.
  bool isListening() const;

 Q_SIGNALS:
  void reopenRequested();

 private:
  void accept();

  std::filesystem::path path_;
  bool primary_ = true;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace velmoria
