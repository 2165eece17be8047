// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tavrolin {

// What can fail on the line. The line's implementation maps the system's error numbers to
// it in one place; the German texts for the user come from it in one place too.
enum class LineError {
    None,
    InUse,       // another program (or another port object) has the device
    CannotOpen,  // no such device, no permission, or not a serial device
    Gone,        // the device went from under the open line: an adapter pulled, a hang-up
    Failed,      // this call failed; the next one may not
};

// Faults the line reports for the bytes received, as bits.
enum LineFault : uint8_t {
    kParityFault = 1,
    kFramingFault = 2,
    kOverrunFault = 4,  // the input queue or the UART's buffer overflowed
    kOtherFault = 8,    // a break, or anything else the driver counts
};

// What one read brought.
struct LineRead {
    std::size_t count = 0;  // bytes copied
    uint8_t faults = 0;     // LineFault bits reported since the previous read
    LineError error = LineError::None;
};

enum class InputWait { Arrived, TimedOut, Failed };

// The serial line to the receiver, in the shape of the system it runs on: opened with the
// receiver's settings, read without waiting, waited on with a deadline, written, and its
// modem lines DTR and RTS set by hand (the multiplexer's clock and data).
class SerialLine {
public:
    virtual ~SerialLine();

    // Opens the device of port 1..4 (the list's "COM 1".."COM 4") for exclusive use, with the
    // receiver's line: 19200 baud, 8 data bits, odd parity with checking, 2 stop bits, no flow
    // control. DTR and RTS are low and nothing from before the open waits to be read.
    virtual LineError Open(int portNumber) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The device has gone from under the open line (a hang-up): every call fails until the
    // line is closed and opened again. A passing fault is no such thing.
    virtual bool Gone() const = 0;

    // Copies what has arrived, up to the buffer's size, without waiting.
    virtual LineRead Read(std::span<uint8_t> buffer) = 0;
    // Waits until bytes have arrived that Read has not taken, for at most timeLeft, which is
    // reduced by the time waited (as select(2) does with its time-out).
    virtual InputWait WaitForInput(std::chrono::milliseconds& timeLeft) = 0;
    // Throws away what has arrived and not been read.
    virtual void DiscardInput() = 0;
    // Hands the bytes to the line; does not wait for them to leave it.
    virtual bool Write(std::span<const uint8_t> bytes) = 0;
    virtual bool SetDtr(bool high) = 0;
    virtual bool SetRts(bool high) = 0;
};

}  // namespace tavrolin
