// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tavrolin {

// The serial port as the receiver link sees it. The operations carry the names and the
// meaning of the comm functions the link was designed around (overlapped reads completed on
// one thread, a manual-reset read event, an event character, line-error flags), so that the
// connect, acknowledgement and poll algorithms read step by step against it.
//
// The device holds one "read event": a manual-reset flag that ReadFile and a WaitCommEvent
// that does not complete at once clear when they start and set when they complete.

namespace comm {

// Events reported by WaitCommEvent.
inline constexpr uint32_t EV_RXFLAG = 0x0002;  // the event character arrived
inline constexpr uint32_t EV_ERR = 0x0080;     // a line error occurred

// Line-error flags of ClearCommError.
inline constexpr uint32_t CE_RXOVER = 0x0001;    // input queue overflow
inline constexpr uint32_t CE_OVERRUN = 0x0002;   // hardware overrun
inline constexpr uint32_t CE_RXPARITY = 0x0004;  // parity error
inline constexpr uint32_t CE_FRAME = 0x0008;     // framing error
inline constexpr uint32_t CE_BREAK = 0x0010;     // break condition

// Flags of PurgeComm.
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Bits of Dcb::flags.
inline constexpr uint32_t DCB_BINARY = 1u << 0;
inline constexpr uint32_t DCB_PARITY = 1u << 1;
inline constexpr uint32_t DCB_OUTX_CTS_FLOW = 1u << 2;
inline constexpr uint32_t DCB_OUTX_DSR_FLOW = 1u << 3;
inline constexpr uint32_t DCB_DTR_CONTROL_MASK = 3u << 4;
inline constexpr uint32_t DCB_OUT_X = 1u << 8;
inline constexpr uint32_t DCB_IN_X = 1u << 9;
inline constexpr uint32_t DCB_RTS_CONTROL_MASK = 3u << 12;

inline constexpr uint8_t NOPARITY = 0;
inline constexpr uint8_t ODDPARITY = 1;
inline constexpr uint8_t EVENPARITY = 2;
inline constexpr uint8_t ONESTOPBIT = 0;
inline constexpr uint8_t TWOSTOPBITS = 2;

// The size of the configuration block that GetCommConfig fills.
inline constexpr uint32_t COMMCONFIG_SIZE = 52;

}  // namespace comm

// Line changes of EscapeCommFunction; the values are the codes the multiplexer wiring was
// documented with.
enum class EscapeCode : int { SetRts = 3, ClrRts = 4, SetDtr = 5, ClrDtr = 6 };

enum class WaitResult { Signaled, TimedOut, Failed };

enum class OpenError {
    None,
    AlreadyOpen,  // another program (or another port object) holds the device
    CannotOpen,   // no such device, no permission, not a serial device
};

struct CommTimeouts {
    uint32_t readIntervalTimeout = 0;
    uint32_t readTotalTimeoutMultiplier = 0;
    uint32_t readTotalTimeoutConstant = 0;
    uint32_t writeTotalTimeoutMultiplier = 0;
    uint32_t writeTotalTimeoutConstant = 0;
};

// Line settings; flags holds the bit fields (see comm::DCB_*; bits 15..31 are reserved).
struct Dcb {
    uint32_t baudRate = 0;
    uint32_t flags = 0;
    uint16_t xonLim = 0;
    uint16_t xoffLim = 0;
    uint8_t byteSize = 0;
    uint8_t parity = 0;
    uint8_t stopBits = 0;
    uint8_t xonChar = 0;
    uint8_t xoffChar = 0;
    uint8_t errorChar = 0;
    uint8_t eofChar = 0;
    uint8_t evtChar = 0;
};

struct CommConfig {
    Dcb dcb;
};

class CommDevice {
public:
    virtual ~CommDevice();

    // Opens the named port ("COM1".."COM4") for exclusive use.
    virtual OpenError Open(std::string_view portName) = 0;
    virtual bool IsOpen() const = 0;
    // The device has gone from under the open port (a hang-up: an adapter pulled, the other
    // end of a pseudo-terminal closed): every call fails until the port is closed and opened
    // again. A passing line error is no such thing.
    virtual bool Gone() const = 0;
    // Releases the port and the read event; a pending WaitCommEvent ends without completing.
    virtual void Close() = 0;

    virtual bool PurgeComm(uint32_t flags) = 0;
    virtual bool SetCommTimeouts(const CommTimeouts& timeouts) = 0;
    // size: in, the room the caller has; out, the size of the configuration block.
    virtual bool GetCommConfig(CommConfig& config, uint32_t& size) = 0;
    virtual bool SetCommConfig(const CommConfig& config, uint32_t size) = 0;
    virtual bool SetCommMask(uint32_t eventMask) = 0;

    // Creates the manual-reset read event, not set.
    virtual bool CreateReadEvent() = 0;
    // Returns true when an event in the mask had already happened: eventMask is filled in
    // and the read event is set. Otherwise the wait stays pending: the read event is cleared,
    // and when the event character or a line error arrives, eventMask (which must stay
    // valid until then) is written and the read event is set.
    virtual bool WaitCommEvent(uint32_t& eventMask) = 0;
    // Waits up to timeoutMs for the read event; 0 only tests it.
    virtual WaitResult WaitForReadEvent(uint32_t timeoutMs) = 0;

    // The line-error flags gathered since the previous call (cleared by this call) and the
    // number of bytes waiting in the input queue.
    virtual bool ClearCommError(uint32_t& errors, uint32_t& inQueue) = 0;
    // Copies up to count queued bytes; read receives how many. Clears the read event when it
    // starts and sets it when it completes.
    virtual bool ReadFile(uint8_t* buffer, uint32_t count, uint32_t& read) = 0;
    // Starts writing the bytes; does not wait for them to leave the line.
    virtual bool WriteFile(std::span<const uint8_t> bytes) = 0;
    virtual bool EscapeCommFunction(EscapeCode code) = 0;
};

}  // namespace tavrolin
