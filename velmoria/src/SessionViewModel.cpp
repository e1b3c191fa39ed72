#include "velmoria/SessionViewModel.hpp"

#include <QDateTime>
#include <QLocale>
#include <chrono>
#include <exception>
#include <vector>

#include "concurrency/Task.hpp"
#include "helpers/ErrorDescription.hpp"
#include "velmoria/MainThread.hpp"

namespace velmoria {
namespace {

// The one column of a `modes` row the app reads; a missing or null flag blocks.
struct ModeFlag {
  bool blockOnMac = true;

  static ModeFlag decode(const base::Decoder& decoder) {
    return {decoder.container().decodeIfPresent<bool>("block_on_mac").value_or(true)};
  }
};

// Fails closed: a mode that cannot be read blocks.
bool fetchBlockOnMac(const zirudeze::ZirudezeClient& client, const std::optional<std::string>& modeID) {
  if (!modeID) return true;
  try {
    const auto rows =
        client.from("modes").select("block_on_mac").eq("id", *modeID).limit(1).execute<std::vector<ModeFlag>>();
    return rows.value.empty() ? true : rows.value.front().blockOnMac;
  } catch (...) {
    return true;
  }
}

// A time format with its seconds (and fractions) taken out, with the separator written before them.
QString withoutSeconds(const QString& format) {
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format[i];
    if (c == u'\'') quoted = !quoted;
    if (!quoted && (c == u's' || c == u'z')) {
      while (!out.isEmpty() && !out.back().isLetter() && out.back() != u'\'') out.chop(1);
      while (i + 1 < format.size() && format[i + 1] == c) ++i;
      continue;
    }
    out += c;
  }
  return out;
}

// Hours and minutes in the user's locale. Some locales' short format still has seconds (the C locale's
// is HH:mm:ss).
QString shortLocalTime(base::Date instant) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch()).count();
  const QLocale locale;
  return locale.toString(QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime).time(),
                         withoutSeconds(locale.timeFormat(QLocale::ShortFormat)));
}

}  // namespace

struct SessionViewModel::Run {
  std::uint64_t generation = 0;
  // A row not followed before waits for its mode's flag, so the two are published together.
  bool holdsNewRow = false;
  std::function<void()> done;
};

const QString& SessionViewModel::initialStatus() {
  static const QString dash = QStringLiteral("\u2014");
  return dash;
}

SessionViewModel::SessionViewModel(std::shared_ptr<zirudeze::ZirudezeClient> client, QObject* parent)
    : QObject(parent), client_(std::move(client)), status_(initialStatus()) {}

void SessionViewModel::refresh(std::function<void()> done) {
  auto run = std::make_shared<Run>();
  run->generation = nextGeneration_++;
  run->done = std::move(done);
  const QPointer<SessionViewModel> self(this);
  zirudeze::concurrency::Task([self, client = client_, run] {
    const auto post = [&](auto work) {
      onMainThread(self, [run, work = std::move(work)](SessionViewModel& model) mutable { work(model, *run); });
    };
    const auto postFailure = [&] {
      post([description = zirudeze::helpers::localizedDescription(std::current_exception())](
               SessionViewModel& model, Run& current) { model.failureArrived(current, description); });
    };
    base::UUID userID;
    try {
      userID = client->auth()->session().user.id;
    } catch (...) {
      postFailure();
      return;
    }
    std::vector<SessionModel> rows;
    try {
      rows = client->from("sessions")
                 .select("*")
                 .eq("user_id", userID)
                 .is("ended_at", std::nullopt)
                 .order("started_at", {.ascending = false, .nullsFirst = false})
                 .limit(1)
                 .execute<std::vector<SessionModel>>()
                 .value;
    } catch (...) {
      postFailure();
      return;
    }
    if (rows.empty()) {
      post([](SessionViewModel& model, Run& current) { model.noSessionArrived(current); });
      return;
    }
    SessionModel row = std::move(rows.front());
    post([row](SessionViewModel& model, Run& current) { model.rowArrived(current, row); });
    const bool blockOnMac = fetchBlockOnMac(*client, row.modeID);
    post([row = std::move(row), blockOnMac](SessionViewModel& model, Run& current) {
      model.flagArrived(current, row, blockOnMac);
    });
  });
}

void SessionViewModel::reset() {
  // Every refresh started so far is older than the reset and publishes nothing more.
  publishedGeneration_ = nextGeneration_++;
  setActiveSession(std::nullopt);
  setBlockOnMac(true);
  setStatus(initialStatus());
}

bool SessionViewModel::isCurrent(const Run& run) const { return run.generation >= publishedGeneration_; }

void SessionViewModel::published(const Run& run) { publishedGeneration_ = run.generation; }

void SessionViewModel::rowArrived(Run& run, SessionModel row) {
  if (!isCurrent(run)) return;
  if (!activeSession_ || activeSession_->id != row.id) {
    run.holdsNewRow = true;
    return;
  }
  published(run);
  setActiveSession(std::move(row));
}

void SessionViewModel::flagArrived(const Run& run, SessionModel row, bool blockOnMac) {
  if (isCurrent(run)) {
    published(run);
    const QString status = QStringLiteral("Aktive Session seit ") + shortLocalTime(row.startedAt);
    if (run.holdsNewRow) {
      // Both values are in place before either change is announced: nobody sees the new row with the
      // old flag.
      const bool flagChanges = blockOnMac_ != blockOnMac;
      activeSession_ = std::move(row);
      blockOnMac_ = blockOnMac;
      Q_EMIT activeSessionChanged();
      if (flagChanges) Q_EMIT blockOnMacChanged();
    } else {
      setBlockOnMac(blockOnMac);
    }
    setStatus(status);
  }
  finish(run);
}

void SessionViewModel::noSessionArrived(const Run& run) {
  if (isCurrent(run)) {
    published(run);
    setActiveSession(std::nullopt);
    setBlockOnMac(true);
    setStatus(QStringLiteral("Keine aktive Session"));
  }
  finish(run);
}

void SessionViewModel::failureArrived(const Run& run, const std::string& description) {
  if (isCurrent(run)) {
    published(run);
    setActiveSession(std::nullopt);
    setBlockOnMac(true);
    setStatus(QStringLiteral("Fehler beim Laden: ") + QString::fromStdString(description));
  }
  finish(run);
}

void SessionViewModel::finish(const Run& run) {
  Q_EMIT refreshFinished();
  if (run.done) run.done();
}

void SessionViewModel::setActiveSession(std::optional<SessionModel> session) {
  if (session == activeSession_) return;
  activeSession_ = std::move(session);
  Q_EMIT activeSessionChanged();
}

void SessionViewModel::setBlockOnMac(bool value) {
  if (value == blockOnMac_) return;
  blockOnMac_ = value;
  Q_EMIT blockOnMacChanged();
}

void SessionViewModel::setStatus(const QString& status) {
  if (status == status_) return;
  status_ = status;
  Q_EMIT statusChanged();
}

}  // namespace velmoria
