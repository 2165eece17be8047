// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-log against tavrolin-sim inside the sandbox of each service unit, as sandbox-run
// builds it from the unit without systemd: read-only system, one writable folder, a /dev
// with the serial device only, no capabilities, no new privileges, the unit's umask and a
// system-call filter from the unit that kills on any call it lacks. Skipped where the
// machine cannot build that sandbox.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "Emulation.h"
#include "MqttSupport.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// The logger with the given profile in the unit's sandbox, writing only into dir/out; as
// nobody when asked, as a service runs as its own user.
class SandboxedLogger : public ChildProcess {
public:
    // systemd's notices go to dir/notify, the watchdog wants one every half second.
    SandboxedLogger(const std::string& unit, const TempDir& dir, const std::string& profile,
                    bool asNobody)
        : ChildProcess(TAVROLIN_SANDBOX_RUN, Args(unit, dir, profile, asNobody),
                       // LeakSanitizer stops the process by ptrace at its end, which the
                       // filter rightly refuses.
                       ChildSetup{{"ASAN_OPTIONS=detect_leaks=0:abort_on_error=1",
                                   "NOTIFY_SOCKET=" + dir.File("notify"), "WATCHDOG_USEC=1000000"},
                                  ""}) {}

private:
    static std::vector<std::string> Args(const std::string& unit, const TempDir& dir,
                                         const std::string& profile, bool asNobody) {
        std::vector<std::string> args = {
            "--unit",         std::string(TAVROLIN_UNIT_DIR) + "/" + unit,
            "--seccomp-exec", TAVROLIN_SECCOMP_EXEC,
            "--visible",      dir.Path().string(),
            "--writable",     dir.File("out"),
            "--device",       dir.File("ttySIM"),
        };
        if (asNobody) {
            args.insert(args.end(), {"--as", "65534:65534"});
        }
        // The archive in the one writable folder, as the units keep it in theirs.
        args.insert(args.end(), {"--", TAVROLIN_LOG_PROGRAM, "--profile", dir.File(profile),
                                 "--archive", dir.File("out/archiv.sqlite")});
        return args;
    }
};

TEST(SandboxedLogger, LogsInTheSandboxOfEachUnitAndWritesOnlyItsFolder) {
    TAVROLIN_SKIP_UNDER_EMULATION("qemu's user emulation installs no seccomp filter of a program");
    if (const std::string missing = SandboxMissing(); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    const bool asNobody = NobodyReachesThePrograms();
    for (const std::string unit : {"tavrolin-log.service", "tavrolin-log@.service"}) {
        SCOPED_TRACE(unit);
        TempDir dir;
        fs::create_directory(dir.File("out"));
        // Open to everyone: only the sandbox keeps the logger from writing there.
        fs::create_directory(dir.File("elsewhere"));
        fs::permissions(dir.File("elsewhere"), fs::perms::all);
        fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
        Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
        ASSERT_TRUE(sim.Ready()) << sim.Stderr();
        if (asNobody) {
            ASSERT_EQ(::chown(dir.File("out").c_str(), kNobody, kNobody), 0);
            ASSERT_EQ(::chown(fs::canonical(dir.File("ttySIM")).c_str(), kNobody, -1), 0);
        }
        WriteProfile(dir.File("p.INI"), "Filename=" + dir.File("out/log.dat"), dir.File("ttySIM"));
        // Publishing to a broker from within the sandbox: its network thread, TCP and the
        // TLS library's start pass the filter.
        Broker broker(dir);
        Subscriber subscriber(broker.Port(), "tavrolin/sandbox/#");
        ASSERT_TRUE(subscriber.Ready(In(5s)));
        testing::WriteBytes(dir.File("p.INI"),
                            testing::ReadBytes(dir.File("p.INI")) + "[MQTT]\r\nHost=127.0.0.1:" +
                                std::to_string(broker.Port()) + "\r\nReceiver=sandbox\r\n");
        WriteProfile(dir.File("elsewhere.INI"), "Filename=" + dir.File("elsewhere/log.dat"),
                     dir.File("ttySIM"));

        NotifySocket notify(dir.File("notify"));
        ASSERT_TRUE(notify.Bound());
        SandboxedLogger logger(unit, dir, "p.INI", asNobody);
        ASSERT_TRUE(logger.WaitForStdoutLines(10, In(10s))) << logger.Stderr();
        // The notify protocol passes the filter and the address families.
        EXPECT_TRUE(notify.WaitFor("READY=1", In(5s))) << logger.Stderr();
        EXPECT_TRUE(notify.WaitFor("STATUS=verbunden mit " + dir.File("ttySIM"), In(5s)));
        EXPECT_TRUE(notify.WaitFor("WATCHDOG=1", In(5s)));
        std::map<std::string, std::string> status = ProcessStatus(logger.Pid());
        EXPECT_EQ(status["NoNewPrivs"], "1");
        EXPECT_EQ(status["Seccomp"], "2") << "a system-call filter";
        EXPECT_EQ(status["CapEff"], "0000000000000000");
        EXPECT_EQ(status["CapBnd"], "0000000000000000");
        if (asNobody) {
            EXPECT_TRUE(status["Uid"].starts_with("65534\t")) << status["Uid"];
        }
        EXPECT_TRUE(subscriber.WaitFor(
            [](const std::vector<Subscriber::Message>& m) {
                return std::any_of(m.begin(), m.end(), [](const Subscriber::Message& x) {
                    return x.topic.ends_with("/state");
                });
            },
            In(10s)));
        EXPECT_EQ(logger.Terminate(In(5s)), 0)
            << "a call outside the filter kills: " << logger.Stderr();
        EXPECT_EQ(AfterStart(logger.Stderr()), "");
        EXPECT_EQ(FileLines(testing::ReadBytes(dir.File("out/log.dat"))).size(),
                  logger.StdoutLines().size());
        for (const char* file : {"out/log.dat", "out/archiv.sqlite"}) {
            EXPECT_EQ(fs::status(dir.File(file)).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
                << file << ": UMask=0027";
        }

        SandboxedLogger outside(unit, dir, "elsewhere.INI", asNobody);
        EXPECT_TRUE(outside.WaitForStderr("elsewhere/log.dat läßt sich nicht öffnen", In(10s)))
            << outside.Stderr();
        EXPECT_TRUE(outside.WaitForStdoutLines(1, In(10s))) << "it logs on, to stdout";
        EXPECT_EQ(outside.Terminate(In(5s)), 0) << outside.Stderr();
        EXPECT_FALSE(fs::exists(dir.File("elsewhere/log.dat")));
        EXPECT_EQ(sim.Terminate(In(5s)), 0);
    }
}

}  // namespace
}  // namespace tavrolin::e2e
