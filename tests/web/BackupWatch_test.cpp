// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/BackupWatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "TempDir.h"
#include "archive/Archive.h"

namespace tavrolin {
namespace {

namespace fs = std::filesystem;

// The state once the watch has looked at its folder.
BackupWatch::State Looked(const BackupWatch& watch) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    BackupWatch::State state = watch.Now();
    while (!state.looked && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
        state = watch.Now();
    }
    return state;
}

TEST(BackupWatch, TellsTheNewestOwnCopyAndWhetherADayWasMissed) {
    testing::TempDir dir;
    const std::string archive = dir.File("archiv.sqlite");
    {
        Archive made;
        ASSERT_TRUE(
            made.Open(dir.File("archiv-2026-12-08.sqlite"), Archive::Access::Write, 100).Ok());
    }
    const Instant taken = FromUnixMs(1796688000000);  // 2026-12-08 00:00 UTC
    fs::last_write_time(dir.File("archiv-2026-12-08.sqlite"),
                        std::chrono::file_clock::from_sys(taken));
    // The owner's file that only looks like a newer copy does not count.
    testing::WriteBytes(dir.File("archiv-2026-12-09.sqlite"), "notes");

    const BackupWatch watch(dir.Path().string(), archive);
    const BackupWatch::State state = Looked(watch);
    ASSERT_TRUE(state.looked);
    ASSERT_TRUE(state.newest);
    EXPECT_EQ(state.newest->taken, taken);
    EXPECT_FALSE(state.Stale(taken + std::chrono::hours(47)));
    EXPECT_TRUE(state.Stale(taken + std::chrono::hours(49)));
    EXPECT_EQ(watch.Metrics().substr(watch.Metrics().rfind('\n', watch.Metrics().size() - 2) + 1),
              "tavrolin_archive_last_backup_timestamp_seconds 1796688000.000\n");
    EXPECT_NE(watch.Json(taken + std::chrono::hours(49), UtcZone())
                  .find(R"("at":"2026-12-08T00:00:00.000+00:00","stale":true})"),
              std::string::npos)
        << watch.Json(taken, UtcZone());

    // A folder without copies (a stick not mounted): no time, and stale at once.
    const BackupWatch empty(dir.File("stick"), archive);
    EXPECT_TRUE(Looked(empty).Stale(taken));
    EXPECT_NE(empty.Json(taken, UtcZone()).find(R"("at":null,"stale":true)"), std::string::npos);
    EXPECT_NE(empty.Metrics().find("seconds 0.000\n"), std::string::npos);
    // None set up: nothing to say.
    const BackupWatch none("", archive);
    EXPECT_EQ(none.Json(taken, UtcZone()), "");
    EXPECT_EQ(none.Metrics(), "");
}

}  // namespace
}  // namespace tavrolin
