// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

#include "decode/PresentReport.h"
#include "decode/ProtocolFileSink.h"
#include "decode/ReportLines.h"
#include "decode/TelegramDecoder.h"

namespace tavrolin::testing {

// The window's presentation as one sink, made of the program's own pieces: the recording
// filter, the report lines, the list and the protocol file.
struct Presenter : ReadingSink {
    Presenter(ReceivedList* list, ProtocolFile& file, RecordingMask mask = kAllRecordings)
        : listSink(list), fileSink(file) {
        lines.Add(listSink);
        lines.Add(fileSink);
        filter.Add(lines);
        filter.SetMask(mask);
    }
    void Accept(const Reading& reading) override { filter.Accept(reading); }
    void EndOfPoll() override { filter.EndOfPoll(); }
    std::optional<SinkNotice> TakeNotice() override { return filter.TakeNotice(); }

    ListSink listSink;
    ProtocolFileSink fileSink;
    ReportLines lines;
    RecordingFilter filter;
};

// Decodes one telegram into the list and the file as the window presents it, as a poll of
// its own (its line is written when it ends): 0 when it was presented, -1 when it was no
// telegram or the mask left it out.
inline int DecodeAndPresent(TelegramDecoder& decoder, std::span<const uint8_t, 7> data,
                            ReceivedList& list, ProtocolFile& file, RecordingMask mask) {
    struct Probe : ReadingSink {
        Probe(ReceivedList& list, ProtocolFile& file, RecordingMask mask)
            : presenter(&list, file, mask), mask(mask) {}
        void Accept(const Reading& reading) override {
            presented = IsRecorded(reading, mask);
            presenter.Accept(reading);
        }
        Presenter presenter;
        RecordingMask mask;
        bool presented = false;
    } probe(list, file, mask);
    decoder.DecodeTelegram(data, probe);
    probe.presenter.EndOfPoll();
    return probe.presented ? 0 : -1;
}

}  // namespace tavrolin::testing
