// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ArchiveSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemoryFileSystem.h"

namespace tavrolin {
namespace {

TEST(ArchiveSettings, TheCommitIntervalIsWholeSecondsWithinAnHourAndAWrongOneIsSaid) {
    struct Case {
        std::string lines;
        int seconds;
        bool wrong;
    };
    const std::vector<Case> cases = {
        {"", ArchiveSettings::kDefaultCommitSeconds, false},
        {"Schreibintervall=", ArchiveSettings::kDefaultCommitSeconds, false},
        {"Schreibintervall=300", 300, false},
        {"Schreibintervall=1", 1, false},
        {"Schreibintervall=3600", 3600, false},
        {"Schreibintervall=0", ArchiveSettings::kDefaultCommitSeconds, true},
        {"Schreibintervall=3601", ArchiveSettings::kDefaultCommitSeconds, true},
        {"Schreibintervall=-5", ArchiveSettings::kDefaultCommitSeconds, true},
        {"Schreibintervall=5 min", ArchiveSettings::kDefaultCommitSeconds, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        testing::MemoryFileSystem files;
        files.files["/p.INI"] = "[Archiv]\n" + c.lines + "\n";
        const ArchiveSettings settings = ArchiveSettings::Read(SettingsStore(files, "/p.INI"));
        EXPECT_EQ(settings.commitSeconds, c.seconds);
        EXPECT_EQ(settings.error.empty(), !c.wrong) << settings.error;
    }
    testing::MemoryFileSystem files;
    files.files["/p.INI"] = "[Archiv]\nSchreibintervall=5 min\n";
    EXPECT_EQ(ArchiveSettings::Read(SettingsStore(files, "/p.INI")).error,
              "Das Schreibintervall des Archivs \"5 min\" (Schreibintervall) ist keine Zahl von 1 "
              "bis 3600 Sekunden.");
}

}  // namespace
}  // namespace tavrolin
