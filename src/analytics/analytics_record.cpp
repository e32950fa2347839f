// Building a package's records (Package::BuildBaseRecord, Package::RefreshAnalytics)
// and the body of one event.
#include "analytics/analytics_record.h"

#include "campaign/package.h"
#include "system/text_convert.h"

namespace ostrane {

nlohmann::json MakeEventRecord(const nlohmann::json& baseRecord, int code, const nlohmann::json& parameters) {
  nlohmann::json record = baseRecord;
  record["6"] = std::to_string(code);
  if (parameters.is_object()) {
    for (const auto& [key, value] : parameters.items())
      if (record.contains(key)) record[key] = value;
  }
  return record;
}

std::string MakeAnalyticsBody(const nlohmann::json& record) {
  // Texts from the system come in the ANSI code page and need not be UTF-8: their
  // invalid bytes become U+FFFD rather than losing the event. Valid text is unchanged.
  constexpr auto kReplace = nlohmann::json::error_handler_t::replace;
  const nlohmann::json body = {{"table", kAnalyticsTable}, {"data", record.dump(-1, ' ', false, kReplace)}};
  return body.dump(-1, ' ', false, kReplace);
}

void Package::BuildBaseRecord() {
  m_baseEvent = m_requestTemplate.body;
  if (m_isMainProduct) {
    m_baseEvent["5"] = m_baseEvent.contains("22") ? m_baseEvent["22"] : nlohmann::json("");
    m_baseEvent["10"] = 1;
    m_baseEvent["18"] = "";
  } else {
    m_baseEvent["5"] = m_analyticsId;
    m_baseEvent["10"] = 2;
    m_baseEvent["16"] = m_channel;
    m_baseEvent["17"] = std::to_string(m_position + 1);
    m_baseEvent["18"] = m_analyticsFlow;
  }
}

void Package::RefreshAnalytics(RequestContext context, const std::wstring& id, const std::wstring& flow,
                               const std::wstring& displayName, const std::wstring& channel) {
  // Senders copy the record and the headers under this lock (SendEvent).
  std::lock_guard lock(m_eventMutex);
  m_requestTemplate = std::move(context);
  m_isMainProduct = true;
  m_position = 0;
  m_analyticsId = WideToAnsi(id);
  m_analyticsFlow = WideToAnsi(flow);
  m_displayName = WideToAnsi(displayName);
  m_channel = WideToAnsi(channel);
  BuildBaseRecord();
}

}  // namespace ostrane
