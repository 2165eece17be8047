// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/posix/LineSettings.h"
#include "serial/SerialLine.h"

namespace tavrolin {

// The device of port n when nothing else is configured: /dev/ttyS<n-1>; none ("") for a
// number below 1.
std::string DefaultPortPath(int portNumber);

// Why a device did not open as a line, finer than LineError: what the one who sets up a
// logger needs to mend it (plug the adapter in, join the device's group, end the other
// program).
enum class PortOpenReason {
    None,
    NoDevice,      // ENOENT, ENODEV, ENXIO: no such device (an adapter not plugged in)
    NoPermission,  // EACCES, EPERM: the user is not in the device's group
    InUse,         // EBUSY (TIOCEXCL), EWOULDBLOCK (flock): another program has it
    NotALine,      // a file, a folder or a device that is no terminal
    Other,
};

// The one place where an errno of opening a line is judged.
PortOpenReason PortOpenReasonFromErrno(int error);
// The LineError of that judgement.
LineError OpenErrorFromErrno(int error);

// The one place where an errno of reading or writing an open line says that its device has
// gone: EIO (the tty was hung up: a USB adapter pulled, the master of a pseudo-terminal
// closed), ENXIO and ENODEV (the device behind the descriptor is no more). Anything else is
// a failure of that call alone.
bool DeviceGoneErrno(int error);

// The serial line on a Linux tty: a non-blocking descriptor with its termios set once at
// open, read with read(2), waited on with poll(2). Line faults come from the driver's
// error counters (TIOCGICOUNT), where it has them.
class PosixSerialLine : public SerialLine {
public:
    using PortPathResolver = std::function<std::string(int portNumber)>;

    explicit PosixSerialLine(PortPathResolver resolvePath = DefaultPortPath);
    ~PosixSerialLine() override;
    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;

    LineError Open(int portNumber) override;
    void Close() override;
    bool IsOpen() const override { return m_fd >= 0; }
    bool Gone() const override { return m_fd >= 0 && m_gone; }
    // The device the last Open tried ("" when the port name has none).
    const std::string& DevicePath() const { return m_path; }
    // Why the last Open failed (None after a success), and its errno where there was one.
    PortOpenReason LastOpenReason() const { return m_openReason; }
    int LastOpenErrno() const { return m_openErrno; }

    LineRead Read(std::span<uint8_t> buffer) override;
    InputWait WaitForInput(std::chrono::milliseconds& timeLeft) override;
    void DiscardInput() override;
    bool Write(std::span<const uint8_t> bytes) override;
    bool SetDtr(bool high) override;
    bool SetRts(bool high) override;

private:
    enum class Readiness { Ready, TimedOut, HungUp, Failed };

    bool HungUp() const;
    // poll(2) for the events until the time is up; events 0 still reports a hang-up.
    Readiness WaitFor(short events, std::chrono::milliseconds& timeLeft) const;
    bool ChangeModemLines(int lines, bool high);
    uint8_t NewFaults();
    LineError Refused(PortOpenReason reason, int error);

    PortPathResolver m_resolvePath;
    std::string m_path;
    PortOpenReason m_openReason = PortOpenReason::None;
    int m_openErrno = 0;
    int m_fd = -1;
    bool m_gone = false;
    bool m_haveCounters = false;
    LineErrorCounts m_counters;
};

}  // namespace tavrolin
