// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as JSON Lines for `tavrolin-history import`: every line goes through the parser
// that turns a line into a Reading (the archive's writing is SQLite's and stays out of it).
// Nothing crashes; a line that is refused says why in German; a line that is taken gives a
// Reading that AppendReadingJson writes as a line which reads back as the same Reading (and
// so is written again byte for byte the same).
//
// Input: the text. It is cut into lines the way the import cuts its input: at LF, with a CR
// before it dropped and lines of only blanks and tabs skipped.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/ReadingImport.h"
#include "base/Win1252.h"
#include "decode/ReadingJson.h"

namespace {

using namespace tavrolin;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool SameReading(const Reading& a, const Reading& b) {
    if (a.time != b.time || a.utcOffsetSeconds != b.utcOffsetSeconds || a.kind != b.kind ||
        a.subtype != b.subtype || a.address != b.address || a.version12 != b.version12 ||
        a.interval != b.interval || a.valueCount != b.valueCount || a.text != b.text ||
        a.event != b.event) {
        return false;
    }
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        if (a.values[i].quantity != b.values[i].quantity || a.values[i].raw != b.values[i].raw) {
            return false;
        }
    }
    return true;
}

void CheckLine(std::string_view line) {
    const ImportedReading imported = ParseReadingJson(line);
    if (!imported.reading) {
        Check(!imported.error.empty() && IsUtf8(imported.error));
        return;
    }
    // Reused: once warm, writing a line allocates nothing.
    static std::string written;
    written.clear();
    AppendReadingJson(*imported.reading, written);
    // Every field AppendReadingJson writes from is compared: the same Reading is written as
    // the same line again, so there is no need to write it a second time.
    const ImportedReading again = ParseReadingJson(written);
    Check(again.reading && SameReading(*again.reading, *imported.reading));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.find_first_not_of(" \t") != std::string_view::npos) {
            CheckLine(line);
        }
    }
    return 0;
}
