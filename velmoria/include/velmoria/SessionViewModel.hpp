#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "velmoria/SessionModel.hpp"
#include "zirudeze/ZirudezeClient.hpp"

namespace velmoria {

// Follows the signed-in user's newest open focus session and whether its mode blocks this computer.
// Main thread only; the backend is asked on worker threads and the answers are published back here.
class SessionViewModel : public QObject {
  Q_OBJECT

 public:
  static const QString& initialStatus();  // "—"

  explicit SessionViewModel(std::shared_ptr<zirudeze::ZirudezeClient> client, QObject* parent = nullptr);

  const std::optional<SessionModel>& activeSession() const { return activeSession_; }
  bool blockOnMac() const { return blockOnMac_; }
  const QString& status() const { return status_; }

  // Reads the newest open session and its mode's flag and publishes them; `done` runs on the main
  // thread once this refresh has nothing more to publish. Refreshes may overlap: one that a newer
  // refresh has overtaken, or that a reset came after, publishes nothing more.
  void refresh(std::function<void()> done = {});
  // Back to no session, blocking, "—".
  void reset();

 Q_SIGNALS:
  void activeSessionChanged();
  void blockOnMacChanged();
  void statusChanged();
  // A refresh has nothing more to publish (whether it published or was overtaken).
  void refreshFinished();

 private:
  struct Run;

  bool isCurrent(const Run& run) const;
  void published(const Run& run);
  void rowArrived(Run& run, SessionModel row);
  void flagArrived(const Run& run, SessionModel row, bool blockOnMac);
  void noSessionArrived(const Run& run);
  void failureArrived(const Run& run, const std::string& description);
  void finish(const Run& run);

  void setActiveSession(std::optional<SessionModel> session);
  void setBlockOnMac(bool value);
  void setStatus(const QString& status);

  std::shared_ptr<zirudeze::ZirudezeClient> client_;
  std::optional<SessionModel> activeSession_;
  bool blockOnMac_ = true;
  QString status_;
  // Each refresh takes the next generation; what publishes must be at least the newest one published.
  std::uint64_t nextGeneration_ = 1;
  std::uint64_t publishedGeneration_ = 0;
};

}  // namespace velmoria
