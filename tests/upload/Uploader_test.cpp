// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/Uploader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "MemoryFileSystem.h"
#include "settings/SettingsStore.h"

namespace tavrolin {
namespace {

constexpr int64_t kT0 = 1796731200000;  // 2026-12-08 12:00:00 UTC
constexpr int64_t k5Min = 5 * kMsPerMinute;

// A server that answers as it is told, in turn, and keeps what it was sent.
class ScriptedHttp : public HttpClient {
public:
    std::deque<HttpAnswer> answers;
    std::vector<HttpRequest> requests;
    HttpAnswer Send(const HttpRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) {
            return {200, "success\n", "", ""};
        }
        HttpAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
};

class ScriptedAprs : public AprsClient {
public:
    std::vector<std::string> packets;
    AprsAnswer Send(std::string_view, std::string_view, std::string_view packet) override {
        packets.emplace_back(packet);
        return {true, "# logresp CW1 unverified, server T2TEST", ""};
    }
};

Observation At(int64_t ms, int32_t temperatureTenths = 100) {
    Observation o;
    o.time = FromUnixMs(ms);
    o.temperatureTenths = temperatureTenths;
    return o;
}

UploadSettings Profile(testing::MemoryFileSystem& files, const std::string& text) {
    files.files["/p.INI"] = text;
    return ReadUploadSettings(SettingsStore(files, "/p.INI")).settings;
}

struct Station {
    testing::MemoryFileSystem files;
    ScriptedHttp http;
    ScriptedAprs aprs;
    std::vector<std::string> said;
    Uploader uploader{http, aprs, files, "/state",
                      [this](const std::string& t) { said.push_back(t); }};
};

std::string DateOf(const HttpRequest& r) {
    const std::size_t at = r.url.find("dateutc=");
    return r.url.substr(at + 8, r.url.find('&', at) - at - 8);
}

// After a day without internet the network gets what it missed, oldest first, at most
// kRequestsPerRun a run; a restart goes on from the state file: nothing twice, nothing left out.
TEST(Uploader, CatchesUpOldestFirstWithinTheBoundAndGoesOnAfterARestart) {
    const std::string profile = "[Wunderground]\nKennung=I1\nSchl\xFCssel=k\n";
    std::vector<std::string> dates;
    int64_t now = kT0;
    {
        Station s;
        s.uploader.Configure(Profile(s.files, profile));
        EXPECT_EQ(s.uploader.WantedFromMs(now), now - kCatchUpMs);
        for (int64_t t = kT0 - 2 * kMsPerHour; t <= now; t += kMsPerMinute) {
            s.uploader.Offer(At(t), now);  // every minute: only the interval's are taken
        }
        EXPECT_EQ(s.uploader.Waiting(Network::Wunderground), 25u);
        const int64_t wake = s.uploader.Run(now);
        EXPECT_EQ(wake, now + kCatchUpPauseMs);
        ASSERT_EQ(s.http.requests.size(), static_cast<std::size_t>(kRequestsPerRun));
        for (const HttpRequest& r : s.http.requests) {
            dates.push_back(DateOf(r));
        }
        EXPECT_EQ(dates.front(), "2026-12-08%2010%3A00%3A00");
        s.files.files.erase("/p.INI");
        Station restarted;
        restarted.files.files = s.files.files;
        restarted.uploader.Configure(Profile(restarted.files, profile));
        for (int64_t t = kT0 - 2 * kMsPerHour; t <= now; t += k5Min) {
            restarted.uploader.Offer(At(t), now);
        }
        now += kCatchUpPauseMs;
        while (restarted.uploader.Waiting(Network::Wunderground) > 0) {
            now = std::max(now, restarted.uploader.Run(now));
        }
        for (const HttpRequest& r : restarted.http.requests) {
            dates.push_back(DateOf(r));
        }
        EXPECT_EQ(restarted.uploader.StateOf(Network::Wunderground).sentUpToMs, kT0);
    }
    ASSERT_EQ(dates.size(), 25u);
    for (std::size_t i = 1; i < dates.size(); ++i) {
        EXPECT_LT(dates[i - 1], dates[i]) << i;
    }
}

// A 5xx is tried again after a growing pause and said once; a refused key stops the network
// (across a restart) until its section changes, and is said once.
TEST(Uploader, RetriesWithGrowingPausesAndStopsOnRefusedCredentials) {
    Station s;
    const std::string profile =
        "[Wunderground]\nKennung=I1\nSchl\xFCssel=k\n[Windy]\nKennung=w1\nSchl\xFCssel=pw\n";
    s.uploader.Configure(Profile(s.files, profile));
    int64_t now = kT0;
    s.uploader.Offer(At(kT0), now);
    std::vector<int64_t> pauses;
    for (int i = 0; i < 8; ++i) {
        s.http.answers.push_back({503, "busy", "", ""});
        const int64_t wake = s.uploader.Run(now);
        pauses.push_back(wake - now);
        now = wake;
    }
    EXPECT_EQ(pauses, (std::vector<int64_t>{30000, 60000, 120000, 240000, 480000, 960000, 1800000,
                                            1800000}));
    ASSERT_EQ(s.said.size(), 2u);  // Wunderground failed, said once; Windy took it
    EXPECT_NE(s.said[0].find("Senden an Wunderground fehlgeschlagen: HTTP 503: busy"),
              std::string::npos)
        << s.said[0];
    s.uploader.Run(now);
    EXPECT_EQ(s.uploader.Waiting(Network::Wunderground), 0u);
    EXPECT_NE(s.said.back().find("Wunderground nimmt"), std::string::npos);

    // Windy takes only the present: the newest of what waits.
    now = kT0 + 2 * kMsPerHour;
    s.uploader.Offer(At(now - k5Min), now);
    s.uploader.Offer(At(now), now);
    s.http.answers.push_back({200, "success", "", ""});  // Wunderground, twice
    s.http.answers.push_back({200, "success", "", ""});
    s.http.answers.push_back({429, R"({"retry_after":"2026-12-08T14:02:00.000Z"})", "", ""});
    EXPECT_EQ(s.uploader.Run(now), now + 120000);
    EXPECT_NE(s.http.requests.back().url.find("time=2026-12-08T14%3A00"), std::string::npos);
    s.http.answers.push_back({400, R"({"message":"Invalid station password"})", "", ""});
    s.said.clear();
    s.uploader.Run(now + 120000);
    EXPECT_FALSE(s.uploader.Sending(Network::Windy));
    ASSERT_EQ(s.said.size(), 1u);
    EXPECT_NE(s.said[0].find("weist die Zugangsdaten ab (HTTP 400: Invalid station password)"),
              std::string::npos);
    auto toWindy = [&] {
        return std::count_if(
            s.http.requests.begin(), s.http.requests.end(),
            [](const HttpRequest& r) { return r.url.find("id=w1") != std::string::npos; });
    };
    const auto sent = toWindy();
    s.uploader.Offer(At(now + k5Min), now + k5Min);
    s.uploader.Run(now + k5Min);
    EXPECT_EQ(toWindy(), sent);
    EXPECT_EQ(s.files.files["/state/windy.state"].find("pw"), std::string::npos);

    Station restarted;
    restarted.files.files = s.files.files;
    restarted.uploader.Configure(Profile(restarted.files, profile));
    EXPECT_FALSE(restarted.uploader.Sending(Network::Windy));
    restarted.uploader.Configure(Profile(restarted.files, profile));
    EXPECT_EQ(restarted.said.size(), 1u);
    restarted.uploader.Configure(Profile(restarted.files, "[Windy]\nKennung=w1\nSchl\xFCssel=p2"));
    EXPECT_TRUE(restarted.uploader.Sending(Network::Windy));
    EXPECT_NE(restarted.said.back().find("wieder gesendet"), std::string::npos);
}

// CWOP takes only the newest observation, at most every five minutes.
TEST(Uploader, CwopGetsOnlyTheNewest) {
    Station s;
    s.uploader.Configure(
        Profile(s.files, "[Station]\nBreite=48\nL\xE4nge=11\n[CWOP]\nKennung=CW1"));
    for (int64_t t = kT0; t <= kT0 + 20 * kMsPerMinute; t += kMsPerMinute) {
        s.uploader.Offer(At(t, static_cast<int32_t>((t - kT0) / kMsPerMinute)), t);
    }
    s.uploader.Run(kT0 + 20 * kMsPerMinute);
    ASSERT_EQ(s.aprs.packets.size(), 1u);
    EXPECT_NE(s.aprs.packets[0].find("@081220z4800.00N/01100.00E"), std::string::npos)
        << s.aprs.packets[0];
    s.uploader.Run(kT0 + 21 * kMsPerMinute);
    EXPECT_EQ(s.aprs.packets.size(), 1u);
    EXPECT_EQ(s.uploader.StateOf(Network::Cwop).sentUpToMs, kT0 + 20 * kMsPerMinute);
}

}  // namespace
}  // namespace tavrolin
