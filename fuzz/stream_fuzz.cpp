// SPDX-License-Identifier: GPL-3.0-or-later
// Any byte stream from the receiver: through the receive poll on a fake port, chunk by chunk
// with line errors here and there, and through the extraction directly. The list never grows
// beyond its 51 lines, every record is one short line, nothing is read outside a buffer (the
// sanitizers watch that), and when no line error spoilt a read, the polls decode exactly the
// telegrams the one read does: where the reads split the stream changes nothing.
//
// The decoder is reached through the extraction, which hands it six data bytes and the ETX
// behind them: any six bytes between an STX and an ETX make a telegram. (Decoding pieces of
// the stream directly as well reached one branch more, the refusal of seven bytes without
// their ETX, which no caller can give it, and made the runs a third slower.)
//
// Input: byte 0 picks the recording mask; then chunks, each a header byte and up to 63
// bytes. Header bits 0..5: the chunk's length; bit 6: a line error comes with it (which one
// by the length); bit 7: an empty poll runs before it (an unfinished telegram waits a tick).
//
// Every input gets ports of its own (fresh reception clocks, no unfinished telegram) on a
// freshly opened line, a fresh list and an empty protocol file, all in memory.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FakeClocks.h"
#include "FakeSerialLine.h"
#include "MemoryFileSystem.h"
#include "RecordingMessageSink.h"
#include "decode/PresentReport.h"
#include "decode/ProtocolFileSink.h"
#include "decode/ReportLines.h"
#include "mux/MultiplexerLine.h"
#include "serial/ReceiverPort.h"

namespace {

using namespace tavrolin;

constexpr std::size_t kMaxLine = 99;
constexpr uint8_t kLineFaults[] = {kParityFault, kFramingFault, kOverrunFault, kOtherFault};
const std::string kFileName = "protokoll.dat";

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsRecordLine(std::string_view line) {
    return line.size() <= kMaxLine && std::memchr(line.data(), '\r', line.size()) == nullptr &&
           std::memchr(line.data(), '\n', line.size()) == nullptr;
}

// What a telegram said, whenever it was received.
std::string Content(const Reading& r) {
    std::string content{r.SensorId()};
    content += r.version12 ? '+' : '-';
    for (std::size_t i = 0; i < r.valueCount; ++i) {
        content += ' ' + std::to_string(r.values[i].raw);
    }
    return content + ' ' + r.text.data() + ' ' + std::to_string(static_cast<int>(r.event));
}

// Every reading's line is checked as it comes; the readings the mask selects go on to the
// list and the file, as in the window.
class LineCheck : public ReportLineSink {
public:
    void AcceptLine(std::string_view line) override { Check(IsRecordLine(line)); }
};

class CheckedSink : public ReadingSink {
public:
    CheckedSink(MemoryList& list, ProtocolFile& file, RecordingMask mask)
        : m_list(list), m_listSink(&list), m_fileSink(file) {
        m_everyLine.Add(m_lineCheck);
        m_recorded.SetMask(mask);
        m_recorded.Add(m_lines);
        m_lines.Add(m_listSink);
        m_lines.Add(m_fileSink);
    }
    void Accept(const Reading& reading) override {
        contents.push_back(Content(reading));
        m_everyLine.Accept(reading);
        m_recorded.Accept(reading);
        Check(m_list.Lines().size() <= static_cast<std::size_t>(kMaxListLines));
    }
    void EndOfPoll() override { m_recorded.EndOfPoll(); }

    std::vector<std::string> contents;

private:
    MemoryList& m_list;
    LineCheck m_lineCheck;
    ReportLines m_everyLine;
    ListSink m_listSink;
    ProtocolFileSink m_fileSink;
    ReportLines m_lines;
    RecordingFilter m_recorded;
};

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

// The line and what every input starts from.
struct Line {
    Line() {
        device.record = false;
        Check(file.OpenForAppend(kFileName));
    }

    // Back to the moment after the start.
    void Reset() {
        clock.Set(kStartTime);
        files.files[kFileName].clear();
    }

    static constexpr LocalTime kStartTime{2026, 12, 7, 14, 3, 7, 456};
    testing::FakeSerialLine device;
    testing::FakeCoarseClock coarse{3};
    MultiplexerLine mux{coarse};
    testing::RecordingMessageSink messages;
    testing::FakeWallClock clock{kStartTime};
    testing::MemoryFileSystem files;
    ProtocolFile file{files};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static Line line;
    // Spread the byte over the 21 bits, so that some masks filter and some do not.
    const RecordingMask mask = (data[0] * 0x10101u) & 0x1FFFFF;

    line.Reset();
    bool lineErrors = false;
    std::vector<std::string> polled;
    std::vector<uint8_t> stream;  // the chunks' bytes, one after the other
    {
        ReceiverPort port{line.device, line.mux, line.messages, line.clock, line.clock};
        Check(port.Connect(0, 0, false));
        MemoryList list;
        CheckedSink sink{list, line.file, mask};
        std::size_t at = 1;
        while (at < size) {
            const uint8_t header = data[at++];
            const std::size_t length = std::min<std::size_t>(header & 0x3F, size - at);
            if (header & 0x80) {
                port.Poll(sink);
            }
            line.device.Receive(std::span<const uint8_t>(data + at, length));
            stream.insert(stream.end(), data + at, data + at + length);
            if (header & 0x40) {
                line.device.RaiseFault(kLineFaults[length % 4]);
                lineErrors = true;
            }
            at += length;
            line.clock.AdvanceMs(header);
            const LinkResult result = port.Poll(sink);
            Check(result == LinkResult::Nothing || result == LinkResult::Failed ||
                  result == LinkResult::Overrun || result == LinkResult::ParityError ||
                  result == LinkResult::FramingError);
        }
        CheckFile(line.files.files[kFileName]);
        polled = std::move(sink.contents);
    }

    // The whole stream as one read, in a buffer of exactly its size.
    line.Reset();
    ReceiverPort direct{line.device, line.mux, line.messages, line.clock, line.clock};
    MemoryList list;
    CheckedSink sink{list, line.file, mask};
    const std::size_t kept = direct.ExtractTelegrams(stream.data(), stream.size(), sink);
    Check(kept <= 7 && kept <= stream.size());
    Check(kept == 0 || stream[0] == 0x02);
    sink.EndOfPoll();  // the queued lines reach the file
    CheckFile(line.files.files[kFileName]);
    Check(lineErrors || sink.contents == polled);

    return 0;
}
