// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/FeedLines.h"

#include <boost/json/monotonic_resource.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>

#include "archive/Archive.h"
#include "archive/ArchiveSchema.h"
#include "archive/ReadingImportJson.h"

namespace tavrolin {

namespace json = boost::json;

void AppendFeedGreeting(int64_t committedKey, std::string& out) {
    out += "{\"feed\":\"tavrolin\",\"version\":";
    out += std::to_string(kFeedVersion);
    out += ",\"committed\":";
    out += std::to_string(committedKey);
    out += "}\n";
}

void AppendFeedReading(int64_t key, std::string_view json, std::string& out) {
    out += "{\"key\":";
    out += std::to_string(key);
    out += ",\"reading\":";
    out += json;
    out += "}\n";
}

void AppendFeedCommit(int64_t committedKey, std::string& out) {
    out += "{\"committed\":";
    out += std::to_string(committedKey);
    out += "}\n";
}

namespace {

FeedLine Invalid(std::string error) {
    FeedLine line;
    line.error = std::move(error);
    return line;
}

// A key: a whole number that is no negative one (0 is an empty archive's).
std::optional<int64_t> KeyAt(const json::object& fields, std::string_view name) {
    const json::value* value = fields.if_contains(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (value->is_int64() && value->get_int64() >= 0) {
        return value->get_int64();
    }
    return std::nullopt;
}

}  // namespace

FeedLine ParseFeedLine(std::string_view text) {
    if (text.size() > kLongestFeedLine) {
        return Invalid("Zeile zu lang");
    }
    json::monotonic_resource memory;
    json::error_code failure;
    const json::value parsed = json::parse(text, failure, &memory);
    if (failure || !parsed.is_object()) {
        return Invalid("kein JSON-Objekt");
    }
    const json::object& fields = parsed.get_object();
    FeedLine line;
    if (const json::value* feed = fields.if_contains("feed")) {
        const json::value* version = fields.if_contains("version");
        if (!feed->is_string() || feed->get_string() != "tavrolin" || version == nullptr ||
            !version->is_int64() || version->get_int64() != kFeedVersion) {
            return Invalid("kein Live-Kanal dieser Version");
        }
        line.kind = FeedLine::Kind::Greeting;
    } else if (const json::value* reading = fields.if_contains("reading")) {
        if (!reading->is_object()) {
            return Invalid("\"reading\" ist kein Objekt");
        }
        const std::optional<int64_t> key = KeyAt(fields, "key");
        if (!key) {
            return Invalid("\"key\" fehlt");
        }
        ImportedReading imported = ReadingOfJson(reading->get_object());
        if (!imported.reading) {
            return Invalid(std::move(imported.error));
        }
        // The key names the reading: its sensor and millisecond, and a seq of its own.
        const ArchiveRow row = RowOf(*imported.reading);
        if (*key - *key % kSameTimeReadings != RecentKey(row.sensor, row.t, 0)) {
            return Invalid("\"key\" paßt nicht zur Messung");
        }
        line.kind = FeedLine::Kind::Reading;
        line.key = *key;
        line.reading = std::move(imported.reading);
        return line;
    } else {
        line.kind = FeedLine::Kind::Commit;
    }
    const std::optional<int64_t> committed = KeyAt(fields, "committed");
    if (!committed) {
        return Invalid("\"committed\" fehlt");
    }
    line.key = *committed;
    return line;
}

void FeedReader::Reset() {
    m_partial.clear();
    m_greeted = false;
    m_problem.clear();
}

bool FeedReader::Fail(std::string problem) {
    m_problem = std::move(problem);
    return false;
}

bool FeedReader::Check(const FeedLine& line) {
    if (line.kind == FeedLine::Kind::Invalid) {
        return Fail(line.error);
    }
    if ((line.kind == FeedLine::Kind::Greeting) == m_greeted) {
        return Fail(m_greeted ? "ein zweiter Gruß" : "die erste Zeile ist kein Gruß");
    }
    m_greeted = true;
    return true;
}

}  // namespace tavrolin
