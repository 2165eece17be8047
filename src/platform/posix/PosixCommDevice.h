// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "platform/posix/LineSettings.h"
#include "serial/CommDevice.h"
#include "serial/CommPortState.h"

namespace tavrolin {

// The device path of a port name when nothing else is configured: "COMn" is /dev/ttyS<n-1>
// (n 1..255, the range of COM numbers); any other name has none ("").
std::string DefaultPortPath(std::string_view portName);

// The one place where an errno of opening a port becomes an OpenError.
OpenError OpenErrorFromErrno(int error);

// The one place where an errno of reading or writing an open port says that its device has
// gone: EIO (the tty was hung up: a USB adapter pulled, the master of a pseudo-terminal
// closed), ENXIO and ENODEV (the device behind the descriptor is no more). Anything else is
// a failure of that call alone.
bool DeviceGoneErrno(int error);

// A serial port on a Linux tty. The driver side of the comm model that termios does not
// have (the input queue the core asks about, the event character, the manual-reset read
// event, the pending WaitCommEvent) lives in a CommPortState; bytes are pulled from the
// non-blocking descriptor into it whenever the core asks what has arrived (ClearCommError,
// WaitCommEvent, a wait while the read event is clear), so no call here blocks except the
// timed waits.
class PosixCommDevice : public CommDevice {
public:
    using PortPathResolver = std::function<std::string(std::string_view portName)>;

    explicit PosixCommDevice(PortPathResolver resolvePath = DefaultPortPath);
    ~PosixCommDevice() override;
    PosixCommDevice(const PosixCommDevice&) = delete;
    PosixCommDevice& operator=(const PosixCommDevice&) = delete;

    OpenError Open(std::string_view portName) override;
    bool IsOpen() const override { return m_fd >= 0; }
    bool Gone() const override { return m_fd >= 0 && m_gone; }
    // The device the last Open tried ("" when the port name has none).
    const std::string& DevicePath() const { return m_path; }
    void Close() override;

    bool PurgeComm(uint32_t flags) override;
    bool SetCommTimeouts(const CommTimeouts& timeouts) override;
    bool GetCommConfig(CommConfig& config, uint32_t& size) override;
    bool SetCommConfig(const CommConfig& config, uint32_t size) override;
    bool SetCommMask(uint32_t eventMask) override;

    bool CreateReadEvent() override;
    bool WaitCommEvent(uint32_t& eventMask) override;
    WaitResult WaitForReadEvent(uint32_t timeoutMs) override;

    bool ClearCommError(uint32_t& errors, uint32_t& inQueue) override;
    bool ReadFile(uint8_t* buffer, uint32_t count, uint32_t& read) override;
    bool WriteFile(std::span<const uint8_t> bytes) override;
    bool EscapeCommFunction(EscapeCode code) override;

private:
    using Deadline = std::chrono::steady_clock::time_point;
    enum class Readiness { Ready, TimedOut, HungUp, Failed };

    // Moves what the kernel holds into the queue (as far as it has room; the kernel keeps the
    // rest) and gathers new line errors. False once the device has gone (the tty was hung
    // up: adapter pulled, pty master closed).
    bool Pull();
    bool HungUp() const;
    // Bytes the kernel holds that the queue has not taken yet.
    std::size_t KernelQueued() const;
    void CollectLineErrors();
    bool ReadCounters(LineErrorCounts& counts) const;
    // poll(2) for events until the deadline; events 0 still reports a hang-up.
    Readiness WaitFor(short events, Deadline deadline) const;
    bool ChangeModemLines(int lines, bool set);
    void ApplyModemLineControl(const Dcb& dcb);

    PortPathResolver m_resolvePath;
    std::string m_path;
    int m_fd = -1;
    bool m_gone = false;
    CommPortState m_state;
    Dcb m_lastDcb;
    CommTimeouts m_timeouts;
    bool m_haveCounters = false;
    LineErrorCounts m_counters;
};

}  // namespace tavrolin
