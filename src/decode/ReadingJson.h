// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "decode/Reading.h"
#include "decode/ReadingSink.h"

namespace tavrolin {

// One reading as one JSON object on one line, UTF-8, without line end: the form of
// `tavrolin-log --json`, of the MQTT state messages and of the archive's export. Appends
// to out, so a caller that reuses its string allocates nothing once it is warm.
//
//   {"time":"2026-12-07T14:03:07.456+01:00","sensor":"outdoor-1","kind":1,"address":1,
//    "v12":false,"interval":48.720,"temperature":12.3,"humidity":67}
//
// "time" is local time with milliseconds and its UTC offset (RFC 3339). "interval" is the
// time in seconds since this sensor's previous reading, to the millisecond; the remote
// control has none. Kinds 0..6 carry "kind", "address" and "v12" and their values under
// the keys of InfoOf(); the remote control carries "text", the Fenster events "event"
// ("high" or "low").
void AppendReadingJson(const Reading& reading, std::string& out);

// "2026-12-07T14:03:07.456+01:00"
void AppendRfc3339(const LocalTime& time, std::string& out);

// Where a reading's JSON goes: the logger's JSON Lines, MQTT's state messages.
class JsonSink : public PollSink {
public:
    virtual void AcceptJson(const Reading& reading, std::string_view json) = 0;
};

// Makes each reading's JSON once (AppendReadingJson) and hands it to every JSON sink, in the
// order they were added; with none, makes nothing.
class JsonOutputs : public FanOut<JsonSink, 2> {
public:
    void Accept(const Reading& reading) override;

private:
    std::string m_json;  // reused: no allocation once warm
};

// A fixed-point number exactly as stored: raw 123 with one decimal is "12.3", -5 is "-0.5".
void AppendFixed(int64_t raw, int decimals, std::string& out);

}  // namespace tavrolin
