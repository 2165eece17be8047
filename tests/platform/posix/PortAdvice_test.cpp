// SPDX-License-Identifier: GPL-3.0-or-later
// Why a port did not open, in the words the one who sets up a logger reads: the errno judged
// once, the advice for each reason, the adapters listed.

#include "platform/posix/PortAdvice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "TempDir.h"

namespace tavrolin {
namespace {

TEST(PortAdvice, EachErrnoOfAnOpenIsJudgedOnceAndTheLineErrorFollowsFromIt) {
    const struct {
        int error;
        PortOpenReason reason;
        LineError line;
    } cases[] = {
        {0, PortOpenReason::None, LineError::None},
        {ENOENT, PortOpenReason::NoDevice, LineError::CannotOpen},
        {ENODEV, PortOpenReason::NoDevice, LineError::CannotOpen},
        {ENXIO, PortOpenReason::NoDevice, LineError::CannotOpen},
        {EACCES, PortOpenReason::NoPermission, LineError::CannotOpen},
        {EPERM, PortOpenReason::NoPermission, LineError::CannotOpen},
        {EBUSY, PortOpenReason::InUse, LineError::InUse},
        {EWOULDBLOCK, PortOpenReason::InUse, LineError::InUse},
        {EISDIR, PortOpenReason::NotALine, LineError::CannotOpen},
        {EIO, PortOpenReason::Other, LineError::CannotOpen},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortOpenReasonFromErrno(c.error), c.reason) << c.error;
        EXPECT_EQ(OpenErrorFromErrno(c.error), c.line) << c.error;
    }
}

TEST(PortAdvice, EachReasonNamesTheDeviceAndWhatToDo) {
    PortFacts facts;
    facts.group = "uucp";
    facts.user = "anna";
    facts.holders = {{4711, "minicom"}, {4712, "tavrolin"}};
    facts.error = EIO;
    const std::string head = "Gerät /dev/ttyUSB0: ";
    const struct {
        PortOpenReason reason;
        std::string first;
    } cases[] = {
        {PortOpenReason::NoDevice,
         head + "Das Gerät gibt es nicht. Ist der Empfänger (oder sein USB-Adapter) "
                "angeschlossen, und ist es die richtige Schnittstelle?"},
        {PortOpenReason::NoPermission,
         head + "Keine Berechtigung. Wer serielle Schnittstellen öffnen will, muß in der "
                "Gruppe uucp sein: sudo adduser anna uucp, danach neu anmelden."},
        {PortOpenReason::InUse,
         head + "Ein anderes Programm hat es geöffnet (minicom, PID 4711, tavrolin, PID 4712). "
                "Es muß erst beendet werden (auch ein zweiter tavrolin-log, das Fenster "
                "tavrolin oder ein Terminalprogramm)."},
        {PortOpenReason::NotALine, head + "Das ist keine serielle Schnittstelle."},
        {PortOpenReason::Other, head + "Input/output error."},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> lines = PortOpenAdvice("/dev/ttyUSB0", c.reason, facts);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), c.first);
        // Without adapters, only a missing device says that there are none to be seen.
        EXPECT_EQ(lines.size(), c.reason == PortOpenReason::NoDevice ? 2u : 1u);
    }
    // Nobody known to hold it, no group known: still a whole sentence, dialout by default.
    const PortFacts unknown;
    EXPECT_EQ(PortOpenAdvice("/dev/ttyS0", PortOpenReason::InUse, unknown).front(),
              "Gerät /dev/ttyS0: Ein anderes Programm hat es geöffnet. Es muß erst beendet "
              "werden (auch ein zweiter tavrolin-log, das Fenster tavrolin oder ein "
              "Terminalprogramm).");
    EXPECT_NE(PortOpenAdvice("/dev/ttyS0", PortOpenReason::NoPermission, unknown)
                  .front()
                  .find("Gruppe dialout sein: sudo adduser $USER dialout"),
              std::string::npos);
}

TEST(PortAdvice, TheAdaptersInByIdAreListedWithTheirDevicesAndOneIsSuggested) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir.File("by-id"));
    std::filesystem::create_directories(dir.File("dev"));
    testing::WriteBytes(dir.File("dev/ttyUSB1"), "");
    std::filesystem::create_symlink(dir.File("dev/ttyUSB1"),
                                    dir.File("by-id/usb-FTDI_FT232R_A1-if00-port0"));
    std::filesystem::create_symlink(dir.File("dev/gone"), dir.File("by-id/usb-Prolific_B2"));

    const PortFacts facts =
        LookUpPort(dir.File("dev/ttyUSB0"), PortOpenReason::NoDevice, ENOENT, dir.File("by-id"));
    const std::vector<std::string> lines =
        PortOpenAdvice("/dev/ttyUSB0", PortOpenReason::NoDevice, facts);
    const std::vector<std::string> expected = {
        lines.front(),
        "Angeschlossene Adapter (/dev/serial/by-id/):",
        "  usb-FTDI_FT232R_A1-if00-port0 -> " + dir.File("dev/ttyUSB1"),
        "  usb-Prolific_B2",
        "Einer davon wird im Profil eingetragen, etwa [Ports] "
        "COM1=/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0, oder mit --port genannt.",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace tavrolin
