#include "velmoria/SingleInstance.hpp"

#include <QLocalServer>
#include <QLocalSocket>
#include <cstdio>

#include "platform/TemporaryDirectory.hpp"

namespace velmoria {
namespace {

constexpr char kReopen[] = "reopen\n";
constexpr int kWaitMilliseconds = 2000;

}  // namespace

std::filesystem::path SingleInstance::defaultSocketPath() { return platform::temporaryDirectory() / "velmoria.socket"; }

SingleInstance::SingleInstance(std::filesystem::path socketPath, QObject* parent)
    : QObject(parent), path_(std::move(socketPath)) {
  const QString name = QString::fromStdString(path_.string());
  {
    QLocalSocket other;
    other.connectToServer(name);
    if (other.waitForConnected(kWaitMilliseconds)) {
      other.write(kReopen);
      other.waitForBytesWritten(kWaitMilliseconds);
      other.disconnectFromServer();
      primary_ = false;
      return;
    }
  }
  // Nobody answers: a socket file left there belongs to an instance that is gone.
  QLocalServer::removeServer(name);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name)) {
    std::fprintf(stderr, "velmoria: cannot listen on %s (%s); later launches will not find this one\n", path_.c_str(),
                 server_->errorString().toLocal8Bit().constData());
    server_.reset();
    return;
  }
  connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::isListening() const { return server_ && server_->isListening(); }

void SingleInstance::accept() {
  while (QLocalSocket* connection = server_->nextPendingConnection()) {
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    const auto read = [this, connection] {
      while (connection->canReadLine()) {
        if (connection->readLine().trimmed() == "reopen") Q_EMIT reopenRequested();
      }
      // A caller that sends anything else, or too much, is not listened to.
      if (connection->bytesAvailable() > 64) connection->abort();
    };
    connect(connection, &QLocalSocket::readyRead, this, read);
    read();
  }
}

}  // namespace velmoria
