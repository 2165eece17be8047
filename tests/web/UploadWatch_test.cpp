// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/UploadWatch.h"

#include <gtest/gtest.h>

#include <boost/json.hpp>

#include "MemoryFileSystem.h"
#include "upload/UploadState.h"

namespace tavrolin {
namespace {

constexpr int64_t kNow = 1796731530000;  // 2026-12-08 12:05:30 UTC

// Each network set up is shown from tavrolin-upload's state file, in the station's time; a
// network whose newest answer was an error, or that was refused, is failing; one not set up
// is not shown; and the credentials are not kept.
TEST(UploadWatch, ShowsWhatEachNetworkSetUpLastAnswered) {
    testing::MemoryFileSystem files;
    UploadState wu;
    wu.sentUpToMs = kNow - 330000;
    wu.lastSuccessMs = kNow - 328000;
    wu.lastErrorMs = kNow - 30000;
    wu.lastError = "HTTP 503: server busy";
    files.files[StatePath("/state", "wunderground")] = StateText(wu);
    UploadState cwop;
    cwop.lastErrorMs = kNow - 60000;
    cwop.lastError = "Passcode falsch";
    cwop.refused = "3f2a";
    files.files[StatePath("/state", "cwop")] = StateText(cwop);

    UploadSettings settings;
    for (Network network : kNetworks) {
        NetworkSettings n;
        n.network = network;
        n.on = network != Network::Windy && network != Network::OpenSenseMap;
        n.secret = "geheim";
        settings.networks.push_back(n);
    }
    const FixedOffsetZone cet(3600);
    const UploadWatch watch(files, "/state", settings);
    const std::string json = watch.Json(FromUnixMs(kNow), cet);
    EXPECT_EQ(json.find("geheim"), std::string::npos);
    const boost::json::array shown = boost::json::parse(json.substr(json.find(':') + 1)).as_array();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].at("network"), "Wunderground");
    EXPECT_EQ(shown[0].at("text"),
              "Wunderground: zuletzt angenommen 08.12.2026 13:00:02 (Beobachtung von "
              "08.12.2026 13:00:00, 5 min zurück); letzter Fehler 08.12.2026 13:05:00: HTTP "
              "503: server busy");
    EXPECT_EQ(shown[0].at("failing"), true);
    EXPECT_EQ(shown[1].at("text"), "PWSweather: noch nichts angenommen");
    EXPECT_EQ(shown[1].at("failing"), false);
    EXPECT_EQ(shown[3].at("network"), "CWOP");
    EXPECT_NE(shown[3].at("text").as_string().find("angehalten, bis der Abschnitt [CWOP]"),
              std::string::npos);

    const std::string metrics = watch.Metrics();
    EXPECT_NE(
        metrics.find("tavrolin_upload_last_success_timestamp_seconds{network=\"wunderground\"} "
                     "1796731202.000\n"),
        std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find("tavrolin_upload_refused{network=\"cwop\"} 1\n"), std::string::npos);
    EXPECT_NE(metrics.find("tavrolin_upload_refused{network=\"wow\"} 0\n"), std::string::npos);
    EXPECT_EQ(metrics.find("windy"), std::string::npos);

    const UploadWatch none(files, "/state", UploadSettings{});
    EXPECT_EQ(none.Json(FromUnixMs(kNow), cet), "");
    EXPECT_EQ(none.Metrics(), "");
}

}  // namespace
}  // namespace tavrolin
