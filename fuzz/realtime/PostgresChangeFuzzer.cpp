// A "postgres_changes" payload from a server: turning it into an action either succeeds with an
// action of the type it names (and the same data the coders read) or fails with a typed error; nothing else.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "realtime/PostgresActions.hpp"
#include "realtime/RealtimeError.hpp"

using namespace zirudeze;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto payload = helpers::AnyJSON::parse(text);
  if (!payload || !payload->objectValue()) return 0;
  const realtime::RealtimeMessageV2 message("1", "2", "realtime:public:rows", "postgres_changes",
                                            *payload->objectValue());
  try {
    const auto change = realtime::decodePostgresChange(message);
    if (!(change.action.rawMessage() == message)) __builtin_trap();
    const auto& data = payload->objectValue()->at("data");
    const auto* type = data.objectValue()->at("type").stringValue();
    const bool matches = (*type == "INSERT" && change.action.as<realtime::InsertAction>()) ||
                         (*type == "UPDATE" && change.action.as<realtime::UpdateAction>()) ||
                         (*type == "DELETE" && change.action.as<realtime::DeleteAction>());
    if (!matches) __builtin_trap();
    // The direct reading of the common case agrees with the coders.
    const auto viaCoders = data.decode<realtime::PostgresActionData>(helpers::JSONDecoder::shared());
    const auto same = [&](const auto& action) {
      return action.columns == viaCoders.columns && action.commitTimestamp == viaCoders.commitTimestamp;
    };
    const helpers::JSONObject none;
    if (const auto* insert = change.action.as<realtime::InsertAction>()) {
      if (!same(*insert) || !helpers::equalObjects(insert->record, viaCoders.record.value_or(none))) __builtin_trap();
    }
    if (const auto* update = change.action.as<realtime::UpdateAction>()) {
      if (!same(*update) || !helpers::equalObjects(update->record, viaCoders.record.value_or(none)) ||
          !helpers::equalObjects(update->oldRecord, viaCoders.oldRecord.value_or(none))) {
        __builtin_trap();
      }
    }
    if (const auto* remove = change.action.as<realtime::DeleteAction>()) {
      if (!same(*remove) || !helpers::equalObjects(remove->oldRecord, viaCoders.oldRecord.value_or(none))) {
        __builtin_trap();
      }
    }
  } catch (const realtime::RealtimeError&) {
  } catch (const velmoria::base::DecodingError&) {
  }
  try {
    const auto data = helpers::JSONDecoder::shared().decode<realtime::PostgresActionData>(text);
    (void)velmoria::base::JSONEncoder{}.encodeToString(data);
  } catch (const velmoria::base::DecodingError&) {
  }
  return 0;
}
