// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as tavrolin-web gets them from a live feed: the reader cuts them into lines and
// parses each (FeedReader, FeedLines.h). Nothing crashes; however the bytes are split into
// reads, the same lines come, and the reader stops at the same place with the same problem,
// said in German; a reading's line, written again from what was read, reads back as the same
// key and the same line.
//
// Input: the first byte chooses where the bytes are split into reads; the rest is the feed.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "archive/FeedLines.h"
#include "base/Win1252.h"
#include "decode/ReadingJson.h"

namespace {

using namespace tavrolin;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct Taken {
    std::vector<std::string> lines;  // each line's kind and key, and its reading written again
    bool formed = true;
    std::string problem;
};

Taken Read(std::string_view feed, std::size_t piece) {
    Taken taken;
    FeedReader reader;
    std::string written;
    const auto each = [&](const FeedLine& line) {
        written = std::to_string(static_cast<int>(line.kind)) + " " + std::to_string(line.key);
        if (line.kind == FeedLine::Kind::Reading) {
            Check(line.reading.has_value());
            std::string json;
            AppendReadingJson(*line.reading, json);
            std::string again;
            AppendFeedReading(line.key, json, again);
            again.pop_back();  // its "\n"
            const FeedLine reread = ParseFeedLine(again);
            Check(reread.kind == FeedLine::Kind::Reading && reread.key == line.key);
            std::string json2;
            AppendReadingJson(*reread.reading, json2);
            Check(json2 == json);
            written += " " + json;
        }
        taken.lines.push_back(written);
    };
    for (std::size_t at = 0; at < feed.size() && taken.formed; at += piece) {
        taken.formed = reader.Take(feed.substr(at, piece), each);
    }
    if (!taken.formed) {
        taken.problem = reader.Problem();
        Check(!taken.problem.empty() && IsUtf8(taken.problem));
    }
    return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view feed(reinterpret_cast<const char*>(data + 1), size - 1);
    const Taken whole = Read(feed, feed.size() + 1);
    const Taken split = Read(feed, piece);
    Check(whole.lines == split.lines && whole.formed == split.formed &&
          whole.problem == split.problem);
    return 0;
}
