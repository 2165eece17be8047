// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Reception.h"

namespace tavrolin {

void Reception::Deriving::Accept(const Reading& reading) {
    if (derivation == nullptr) {
        next.Accept(reading);
        return;
    }
    Reading derived = reading;
    derivation->Derive(derived);
    next.Accept(derived);
}

Reception::Reception(ReceiverPort& port, MessageSink& messages, CoarseClock& clock,
                     FileSystem& files, const ShownReadings& shown, Outputs* outputs)
    : m_protocolFile(files),
      m_fileSink(m_protocolFile),
      m_session(port, m_deriving, messages, clock) {
    const OutputSinks out = outputs != nullptr ? outputs->Sinks() : OutputSinks{};
    const auto add = [](auto& to, auto* sink) {
        if (sink != nullptr) {
            to.Add(*sink);
        }
    };
    m_deriving.derivation = out.derivation;

    add(m_everySensor, out.tracker);
    add(m_everySensor, shown.overview);

    add(m_json, shown.json);
    add(m_json, out.mqtt);
    add(m_reportLines, shown.lines);
    m_reportLines.Add(m_fileSink);
    m_recorded.Add(m_json);
    m_recorded.Add(m_reportLines);
    add(m_recorded, out.archive);
    add(m_recorded, out.live);
    add(m_recorded, out.overdue);

    m_sinks.Add(m_everySensor);
    m_sinks.Add(m_recorded);
}

}  // namespace tavrolin
