// SPDX-License-Identifier: GPL-3.0-or-later
// Any byte stream from the receiver: through the receive poll on a fake port, chunk by chunk
// with line errors here and there, and through the extraction and the decoder directly. The
// list never grows beyond its 51 lines, every record is one short line, and nothing is read
// outside a buffer (the sanitizers watch that).
//
// Input: byte 0 picks the recording mask; then chunks, each a header byte and up to 63
// bytes. Header bits 0..5: the chunk's length; bit 6: a line error comes with it (which one
// by the length); bit 7: an empty poll runs before it (an unfinished telegram waits a tick).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FakeClocks.h"
#include "FakeCommDevice.h"
#include "MemoryFileSystem.h"
#include "RecordingMessageSink.h"
#include "decode/PresentReport.h"
#include "mux/MultiplexerDialog.h"
#include "serial/ReceiverPort.h"

namespace {

using namespace tavrolin;

constexpr std::size_t kMaxLine = 99;
constexpr uint32_t kLineErrors[] = {comm::CE_RXPARITY, comm::CE_FRAME, comm::CE_RXOVER,
                                    comm::CE_BREAK};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsRecordLine(std::string_view line) {
    return line.size() <= kMaxLine && line.find_first_of("\r\n") == std::string_view::npos;
}

void CheckList(const MemoryList& list) {
    Check(list.Lines().size() <= static_cast<std::size_t>(kMaxListLines));
    for (const std::string& line : list.Lines()) {
        Check(IsRecordLine(line));
    }
}

// Every line of the protocol file is a record line with CR LF.
void CheckFile(const std::string& bytes) {
    std::size_t from = 0;
    while (from < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", from);
        Check(end != std::string::npos);
        Check(IsRecordLine(std::string_view(bytes).substr(from, end - from)));
        from = end + 2;
    }
}

// A receiver port, started, with the list and the file a poll hands on.
struct Rig {
    Rig() {
        device.onWrite = [this](std::span<const uint8_t>) { device.Receive({0x02, 0x06, 0x03}); };
        port.Connect(0, 0, 0);
        port.SendFrame(kStartCommand.data(), 6);
        device.onWrite = nullptr;
        file.OpenForAppend("protokoll.dat");
    }

    testing::FakeCommDevice device;
    testing::FakeCoarseClock coarse{3};
    MultiplexerDialog mux{coarse};
    testing::RecordingMessageSink messages;
    testing::FakeLocalClock clock;
    ReceiverPort port{device, mux, messages, clock};
    testing::MemoryFileSystem files;
    ProtocolFile file{files};
    MemoryList list;
    PresentingSink sink{&list, file};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // Spread the byte over the 21 bits, so that some masks filter and some do not.
    const RecordingMask mask = (data[0] * 0x10101u) & 0x1FFFFF;

    Rig polled;
    polled.sink.SetMask(mask);
    std::size_t at = 1;
    while (at < size) {
        const uint8_t header = data[at++];
        const std::size_t length = std::min<std::size_t>(header & 0x3F, size - at);
        if (header & 0x80) {
            polled.port.Poll(polled.sink);
        }
        polled.device.Receive(std::span<const uint8_t>(data + at, length));
        if (header & 0x40) {
            polled.device.RaiseLineError(kLineErrors[length % 4]);
        }
        at += length;
        polled.clock.AdvanceMs(header);
        const int result = polled.port.Poll(polled.sink);
        Check(result == 0 || result == -1 || result == -4 || result == -5 || result == -6);
        CheckList(polled.list);
    }
    CheckFile(polled.files.files["protokoll.dat"]);

    // The whole stream as one read, in a buffer of exactly its size.
    Rig direct;
    direct.sink.SetMask(mask);
    std::vector<uint8_t> buffer(data + 1, data + size);
    const std::size_t kept =
        direct.port.ExtractTelegrams(buffer.data(), buffer.size(), direct.sink);
    Check(kept <= 7 && kept <= buffer.size());
    Check(kept == 0 || buffer[0] == 0x02);
    CheckList(direct.list);

    // The decoder at every place where seven bytes follow, whatever is there.
    for (std::size_t i = 0; i + 7 <= buffer.size(); ++i) {
        const std::vector<uint8_t> seven(data + 1 + i, data + 1 + i + 7);
        direct.port.DecodeTelegram(std::span<const uint8_t, 7>(seven.data(), 7), direct.sink);
    }
    CheckList(direct.list);
    direct.sink.EndOfPoll();  // the queued lines reach the file
    CheckFile(direct.files.files["protokoll.dat"]);
    return 0;
}
