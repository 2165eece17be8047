// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-history backup and restore as an owner uses them: a copy made while the logger
// writes holds every reading committed before it began and passes the check; restored on a
// stopped logger, the logger goes on from it with nothing lost or twice; a copy that cannot
// be written whole leaves nothing; and old copies go, but only the program's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "Emulation.h"
#include "SmallDisk.h"
#include "archive/Sqlite.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

int64_t Readings(const std::string& archive) {
    sql::Database db;
    int64_t count = -1;
    if (db.OpenReadOnly(archive, false) == sql::kOk) {
        sql::ReadInt(db, "SELECT (SELECT count(*) FROM reading) + (SELECT count(*) FROM recent)",
                     count);
    }
    return count;
}

// The readings of `copy` that `archive` lacks.
int64_t MissingFrom(const std::string& archive, const std::string& copy) {
    sql::Database db;
    int64_t missing = -1;
    const std::string keys =
        "SELECT sensor, t, seq FROM %1.reading UNION ALL "
        "SELECT sensor, t, seq FROM %1.recent";
    const auto of = [&keys](const std::string& schema) {
        std::string text = keys;
        for (std::size_t at; (at = text.find("%1")) != std::string::npos;) {
            text.replace(at, 2, schema);
        }
        return text;
    };
    if (db.Open(archive, false) == sql::kOk &&
        db.Exec(("ATTACH '" + copy + "' AS c").c_str()) == sql::kOk) {
        sql::ReadInt(db,
                     "SELECT count(*) FROM (SELECT * FROM (" + of("c") +
                         ") EXCEPT SELECT * FROM (" + of("main") + "))",
                     missing);
    }
    return missing;
}

// The names in a folder, sorted.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

int Tool(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
    History history(std::move(args));
    const std::optional<int> status = history.Exit(In(120s));
    if (out != nullptr) {
        *out = history.Stdout();
    }
    if (err != nullptr) {
        *err = history.Stderr();
    }
    return status.value_or(-1);
}

TEST(Backup, ACopyWhileTheLoggerWritesIsWholeAndARestoreGoesOnFromIt) {
    TempDir dir;
    const std::string archive = dir.File("archiv.sqlite");
    const std::string copies = dir.File("copies");
    fs::create_directory(copies);
    Simulator sim(dir.File("ttySIM"), {"--rate", "200"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    WriteProfile(
        dir.File("p.INI"),
        "Filename=" + dir.File("log.dat") + "\n[Archiv]\nSchreibintervall=1\nSicherung=" + copies,
        dir.File("ttySIM"));
    const std::vector<std::string> profile = {"--profile", dir.File("p.INI"), "--archive", archive};
    const auto with = [&profile](std::vector<std::string> args) {
        args.insert(args.begin(), profile.begin(), profile.end());
        return args;
    };
    std::string out, err;
    {
        Logger logger(with({}));
        ASSERT_TRUE(WaitForFileLines(dir.File("log.dat"), 600, In(30s))) << logger.Stderr();
        const int64_t before = Readings(archive);
        ASSERT_GT(before, 0);
        ASSERT_EQ(Tool(with({"backup"}), &out, &err), 0) << err;
        ASSERT_EQ(err, "");
        const std::vector<std::string> names = Names(copies);
        ASSERT_EQ(names.size(), 1u) << out;
        const std::vector<std::string> made = {copies + "/" + names[0]};
        EXPECT_TRUE(names[0].starts_with("archiv-20") && names[0].ends_with(".sqlite")) << names[0];
        EXPECT_TRUE(out.starts_with("Gesichert: " + made[0] + ", ")) << out;
        EXPECT_GE(Readings(made[0]), before);
        EXPECT_FALSE(fs::exists(made[0] + "-wal")) << "a copy is one file";
        EXPECT_EQ(Tool({"--archive", made[0], "check"}, &out), 0) << out;
        ASSERT_EQ(Tool(with({"sensors"}), &out), 0);
        EXPECT_TRUE(out.starts_with("Letzte Sicherung: ")) << out;
        EXPECT_NE(out.find(made[0]), std::string::npos) << out;

        // The logger goes on writing: restore refuses and names it.
        EXPECT_EQ(Tool(with({"restore", made[0]}), nullptr, &err), 1);
        EXPECT_NE(err.find("tavrolin-log (PID " + std::to_string(logger.Pid()) + ")"),
                  std::string::npos)
            << err;
        EXPECT_EQ(logger.Terminate(In(10s)), 0);
    }
    const std::string copy = copies + "/" + Names(copies).at(0);
    EXPECT_EQ(MissingFrom(archive, copy), 0) << "the copy holds what the archive does not";
    const int64_t inCopy = Readings(copy);
    ASSERT_LT(inCopy, Readings(archive));

    ASSERT_EQ(Tool(with({"restore", copy}), &out, &err), 0) << err;
    EXPECT_EQ(Readings(archive), inCopy);
    std::vector<std::string> kept;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.Path())) {
        if (const std::string name = entry.path().filename().string();
            name.starts_with("archiv-ersetzt-") && name.ends_with(".sqlite")) {
            kept.push_back(entry.path().string());
        }
    }
    ASSERT_EQ(kept.size(), 1u) << out;
    EXPECT_GT(Readings(kept[0]), inCopy) << "the replaced archive stays as it was";

    // The logger goes on from the restored archive: its new readings join the copy's.
    Logger again(with({"--json"}));
    ASSERT_TRUE(again.WaitForStdoutLines(400, In(30s))) << again.Stderr();
    EXPECT_EQ(again.Terminate(In(10s)), 0);
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
    EXPECT_EQ(Readings(archive), inCopy + static_cast<int64_t>(again.StdoutLines().size()));
    EXPECT_EQ(MissingFrom(archive, copy), 0);
    EXPECT_EQ(Tool({"--archive", archive, "check"}, &out), 0) << out;
}

TEST(Backup, ACopyThatCannotBeWrittenWholeLeavesNothingAndOnlyOwnCopiesAreRemoved) {
    TempDir dir;
    const std::string archive = dir.File("archiv.sqlite");
    std::string lines;
    for (int i = 0; i < 3000; ++i) {
        char time[32];
        std::snprintf(time, sizeof time, "2026-12-07T14:%02d:%02d.000+01:00", i / 60, i % 60);
        lines += R"({"time":")" + std::string(time) +
                 R"(","sensor":"outdoor-1","kind":1,"address":1,"v12":false,"interval":1.000,)"
                 R"("temperature":12.3,"humidity":67})" +
                 "\n";
    }
    testing::WriteBytes(dir.File("in.jsonl"), lines);
    ASSERT_EQ(Tool({"--archive", archive, "import", dir.File("in.jsonl")}), 0);

    std::string out, err;
    testing::SmallDisk disk(64 * 1024);
    if (disk.Mounted()) {
        EXPECT_EQ(Tool({"--archive", archive, "backup", disk.File("")}, &out, &err), 1);
        EXPECT_NE(err.find("Der Datenträger ist voll."), std::string::npos) << err;
        EXPECT_TRUE(fs::is_empty(disk.File(""))) << "a partial copy was left";
    } else {
        std::fprintf(stderr, "no full disk: %s\n", disk.Why().c_str());
    }
    // A folder that is not there is not made: it is where a stick is not mounted.
    EXPECT_EQ(Tool({"--archive", archive, "backup", dir.File("stick/")}, nullptr, &err), 1);
    EXPECT_FALSE(fs::exists(dir.File("stick")));

    // Three days of copies and files of the owner's that look like them.
    const std::string folder = dir.File("copies");
    fs::create_directory(folder);
    ASSERT_EQ(Tool({"--archive", archive, "backup", folder + "/archiv-2026-12-01.sqlite"}), 0);
    for (const char* day : {"2026-12-02", "2026-12-03"}) {
        fs::copy_file(folder + "/archiv-2026-12-01.sqlite",
                      folder + "/archiv-" + std::string(day) + ".sqlite");
    }
    const std::vector<std::string> owners = {"archiv-2026-11-30.sqlite", "archiv-alt.sqlite",
                                             "notizen-2026-11-01.sqlite"};
    for (const std::string& name : owners) {
        testing::WriteBytes(folder + "/" + name, "not a copy");
    }
    ASSERT_EQ(Tool({"--archive", archive, "backup", folder, "--keep", "2"}, &out, &err), 0) << err;
    // Today's copy, by the name the line says.
    const std::size_t name = out.find("archiv-20");
    ASSERT_NE(name, std::string::npos) << out;
    std::vector<std::string> expected = owners;
    expected.push_back("archiv-2026-12-03.sqlite");
    expected.push_back(out.substr(name, std::string("archiv-2026-12-09.sqlite").size()));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(folder), expected) << out;
    EXPECT_NE(out.find("Entfernt: " + folder + "/archiv-2026-12-01.sqlite\n"), std::string::npos);
    EXPECT_NE(out.find("Entfernt: " + folder + "/archiv-2026-12-02.sqlite\n"), std::string::npos);
    EXPECT_EQ(Tool({"--archive", archive, "backup", "--keep", "0", folder}, nullptr, &err), 2);
}

// The daily unit's sandbox (as sandbox-run builds it from the unit): the copy is made in the
// one writable folder, and a folder it may not write gets no part of one.
TEST(Backup, RunsInTheSandboxOfItsUnit) {
    TAVROLIN_SKIP_UNDER_EMULATION("qemu's user emulation installs no seccomp filter of a program");
    if (const std::string missing = SandboxMissing(); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    // As root, SQLite gives each file it makes beside a database the database's owner, a
    // call the unit's filter refuses and its own user never makes.
    if (!NobodyReachesThePrograms()) {
        GTEST_SKIP() << "the unit's user, nobody here, cannot run the programs where they are";
    }
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    const std::string archive = dir.File("archiv.sqlite");
    testing::WriteBytes(dir.File("in.jsonl"),
                        R"({"time":"2026-12-07T14:03:08.956+01:00","sensor":"outdoor-1",)"
                        R"("kind":1,"address":1,"v12":false,"interval":1.500,)"
                        R"("temperature":12.3,"humidity":67})"
                        "\n");
    ASSERT_EQ(Tool({"--archive", archive, "import", dir.File("in.jsonl")}), 0);
    for (const char* folder : {"out", "elsewhere"}) {
        fs::create_directory(dir.File(folder));
        // Open to everyone: only the sandbox keeps the copy out of "elsewhere".
        fs::permissions(dir.File(folder), fs::perms::all);
    }
    for (const char* folder : {"out", "elsewhere"}) {
        ChildProcess backup(
            TAVROLIN_SANDBOX_RUN,
            {"--unit", std::string(TAVROLIN_UNIT_DIR) + "/tavrolin-backup.service",
             "--seccomp-exec", TAVROLIN_SECCOMP_EXEC, "--visible", dir.Path().string(),
             "--writable", dir.File("out"), "--device", "/dev/null", "--as", "65534:65534", "--",
             TAVROLIN_HISTORY_PROGRAM, "--archive", archive, "backup", dir.File(folder)},
            ChildSetup{{"ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"}, ""});
        const bool writable = std::string(folder) == "out";
        EXPECT_EQ(backup.Exit(In(60s)), writable ? 0 : 1) << backup.Stderr();
        EXPECT_EQ(Names(dir.File(folder)).size(), writable ? 1u : 0u) << backup.Stderr();
    }
}

}  // namespace
}  // namespace tavrolin::e2e
