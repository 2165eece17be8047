// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/UploadWatch.h"

#include <boost/json.hpp>

#include "decode/ReadingJson.h"
#include "upload/UploadState.h"
#include "upload/Uploader.h"

namespace tavrolin {

UploadWatch::UploadWatch(FileSystem& files, std::string folder, const UploadSettings& settings)
    : m_files(files), m_folder(std::move(folder)) {
    for (const NetworkSettings& n : settings.networks) {
        if (n.on) {
            NetworkSettings shown;
            shown.network = n.network;
            shown.on = true;
            m_networks.push_back(std::move(shown));
        }
    }
}

std::string UploadWatch::Json(Instant now, const TimeZone& zone) const {
    if (m_networks.empty()) {
        return {};
    }
    boost::json::array uploads;
    for (const NetworkSettings& n : m_networks) {
        const UploadState state = LoadState(m_files, StatePath(m_folder, InfoOf(n.network).name));
        // Failing: the newest answer was an error, or the credentials were refused.
        const bool failing = !state.refused.empty() || state.lastErrorMs > state.lastSuccessMs;
        uploads.push_back({{"network", InfoOf(n.network).section},
                           {"text", StatusLine(n, state, UnixMs(now), &zone)},
                           {"failing", failing}});
    }
    return "\"uploads\":" + boost::json::serialize(uploads);
}

std::string UploadWatch::Metrics() const {
    if (m_networks.empty()) {
        return {};
    }
    struct Gauge {
        const char* name;
        const char* help;
        int64_t UploadState::*ms;  // a time; none: the refusal
    };
    static constexpr Gauge kGauges[] = {
        {"tavrolin_upload_last_success_timestamp_seconds",
         "Wann das Netz zuletzt eine Beobachtung angenommen hat, 0 noch nie.",
         &UploadState::lastSuccessMs},
        {"tavrolin_upload_sent_up_to_timestamp_seconds",
         "Die Zeit der neuesten Beobachtung, die das Netz angenommen hat.",
         &UploadState::sentUpToMs},
        {"tavrolin_upload_last_error_timestamp_seconds",
         "Wann das Senden an das Netz zuletzt fehlschlug, 0 noch nie.", &UploadState::lastErrorMs},
        {"tavrolin_upload_refused",
         "1, solange das Netz die Zugangsdaten abgewiesen hat und auf ein geändertes Profil "
         "wartet.",
         nullptr},
    };
    std::vector<UploadState> states;
    for (const NetworkSettings& n : m_networks) {
        states.push_back(LoadState(m_files, StatePath(m_folder, InfoOf(n.network).name)));
    }
    std::string out;
    for (const Gauge& gauge : kGauges) {
        out += std::string("# HELP ") + gauge.name + " " + gauge.help + "\n# TYPE " + gauge.name +
               " gauge\n";
        for (std::size_t i = 0; i < m_networks.size(); ++i) {
            out += std::string(gauge.name) + "{network=\"" +
                   std::string(InfoOf(m_networks[i].network).name) + "\"} ";
            if (gauge.ms != nullptr) {
                AppendFixed(states[i].*gauge.ms, 3, out);
            } else {
                out += states[i].refused.empty() ? "0" : "1";
            }
            out += '\n';
        }
    }
    return out;
}

}  // namespace tavrolin
