// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/TelegramDecoder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "FakeClocks.h"
#include "Presenting.h"
#include "base/Win1252.h"
#include "decode/Framing.h"
#include "decode/PresentReport.h"
#include "platform/posix/PosixFileSystem.h"

namespace tavrolin {
namespace {

using Data = std::array<uint8_t, 6>;

constexpr std::size_t kPrefixLength = 15;  // "(14:03:07.4) : "

// The receiving end of the decoder, as the window hands it to every poll: a list and a
// protocol file (closed here), with a clock the test moves.
struct Reception {
    explicit Reception(LocalTime start = {2026, 12, 7, 14, 3, 7, 456}) : clock(start) {}

    int Decode(const Data& d, RecordingMask mask = kAllRecordings, uint8_t end = kEtx) {
        const std::array<uint8_t, 7> bytes = {d[0], d[1], d[2], d[3], d[4], d[5], end};
        return testing::DecodeAndPresent(decoder, bytes, list, file, mask);
    }
    // The list's last line in the protocol file's bytes (Windows-1252: ° is 0xB0, ß 0xDF), as
    // the tables below write the lines.
    std::string LastLine() const {
        return list.Lines().empty() ? "" : Utf8ToWin1252(list.Lines().back());
    }
    // The record text, after the time prefix.
    std::string LastText() const {
        return LastLine().substr(std::min(kPrefixLength, LastLine().size()));
    }

    testing::FakeWallClock clock;
    PosixFileSystem fileSystem;
    ProtocolFile file{fileSystem};
    MemoryList list;
    TelegramDecoder decoder{clock, clock};
};

Data WithBit7(Data d) {
    for (auto& b : d) {
        b |= 0x80;
    }
    return d;
}

TEST(TelegramDecoder, WorkedExamplesGiveTheirWholeReportLines) {
    struct Case {
        Data data;
        int64_t sincePreviousMs;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{0x11, 0, 123, 67, 0, 0},
         48721,
         "(14:03:07.4) : (48.72s)  Au\xDF"
         "en (1)   12.3\xB0  67%"},
        {{0x4A, 1, 87, 45, 7, 117},
         177250,
         "(14:03:07.4) : (177.25s)  Innen V1.2 (2)   21.5\xB0  45%  1013hPa"},
        {{0x33, 0, 125, 2, 2, 14},
         12340,
         "(14:03:07.4) : (12.34s)  Wind (3)    12.5km/h  270\xB0 B2"},
        {{0x70, 0, 0, 0, 0, 0}, 60000, "(14:03:07.4) : ++++ Fenster High 60.00 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Reception r;
        r.clock.AdvanceMs(-c.sincePreviousMs);
        ASSERT_EQ(r.Decode(c.data), 0);
        r.clock.AdvanceMs(c.sincePreviousMs);
        ASSERT_EQ(r.Decode(c.data), 0);
        EXPECT_EQ(r.LastLine(), c.line);
    }
}

TEST(TelegramDecoder, ValuesAreDerivedAndFormattedAlikeWithOrWithoutBit7) {
    struct Case {
        Data data;
        std::string text;  // decoded at the construction time: the interval is 0
    };
    const std::vector<Case> cases = {
        // V as 14-bit two's complement, X = V / 10 with "%5.1f"
        {{0x01, 0x7F, 0x4E, 0, 0, 0}, "(0.00s)  nur Temp (1)   -5.0\xB0"},
        {{0x00, 0x40, 0x00, 0, 0, 0}, "(0.00s)  nur Temp (0)  -819.2\xB0"},
        {{0x00, 0x7F, 0x7F, 0, 0, 0}, "(0.00s)  nur Temp (0)   -0.1\xB0"},
        {{0x00, 0x00, 0x00, 0, 0, 0}, "(0.00s)  nur Temp (0)    0.0\xB0"},
        {{0x0F, 0x3F, 0x7F, 0, 0, 0}, "(0.00s)  nur Temp V1.2 (7)  819.1\xB0"},
        // H with "%2d%%"
        {{0x17, 0, 5, 0, 0, 0},
         "(0.00s)  Au\xDF"
         "en (7)    0.5\xB0   0%"},
        {{0x1C, 0x7F, 0x76, 127, 0, 0},
         "(0.00s)  Au\xDF"
         "en V1.2 (4)   -1.0\xB0  127%"},
        // The rain counter: "%03X" of the signed value
        {{0x20, 0x40, 0x00, 0, 0, 0}, "(0.00s)  Regen (0)  FFFFE000"},
        {{0x21, 0x00, 0x05, 0, 0, 0}, "(0.00s)  Regen (1)  005"},
        {{0x2F, 0x35, 0x3C, 0, 0, 0}, "(0.00s)  Regen V1.2 (7)  1ABC"},
        // Wind: X km/h, W degrees, H Beaufort digit
        {{0x3B, 0x40, 0x00, 127, 0x7F, 0x7F}, "(0.00s)  Wind V1.2 (3)  -819.2km/h  16383\xB0 B127"},
        {{0x30, 0x00, 0x00, 0, 0, 5}, "(0.00s)  Wind (0)     0.0km/h    5\xB0 B0"},
        // Indoor: X, H, W hPa
        {{0x40, 0, 0, 0, 0, 0}, "(0.00s)  Innen (0)    0.0\xB0   0%     0hPa"},
        {{0x4F, 0x3F, 0x7F, 99, 0x7F, 0x7F}, "(0.00s)  Innen V1.2 (7)  819.1\xB0  99%  16383hPa"},
        // Brightness and pyranometer: V and H as "%d"
        {{0x55, 0x7F, 0x7F, 3, 0, 0}, "(0.00s)  Helligkeit (5)  -1  Faktor 3"},
        {{0x6E, 0x3F, 0x7F, 0, 0, 0}, "(0.00s)  Pyranometer V1.2 (6)  8191  Faktor 0"},
        {{0x60, 0x40, 0x00, 127, 0, 0}, "(0.00s)  Pyranometer (0)  -8192  Faktor 127"},
        // Fenster and remote control
        {{0x71, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F}, "---- Fenster Low 0.00 s"},
        {{0x7F, 'H', 'a', 'l', 'l', 'o'}, "FB : H a l l o"},
        {{0x7F, 'A', 0, 'B', 'C', 'D'}, "FB : A "},
        {{0x7F, 0, 'B', 'C', 'D', 'E'}, "FB : "},
        // Control characters would break the line in the file or reach a terminal
        {{0x7F, 'A', '\n', 0x1B, 0x7F, '\r'}, "FB : A ? ? ? ?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Reception plain;
        ASSERT_EQ(plain.Decode(c.data), 0);
        EXPECT_EQ(plain.LastText(), c.text);
        Reception high;
        ASSERT_EQ(high.Decode(WithBit7(c.data)), 0);
        EXPECT_EQ(high.LastLine(), plain.LastLine());
    }
}

TEST(TelegramDecoder, TimePrefixComesFromOneClockRead) {
    struct Case {
        LocalTime time;
        std::string prefix;
    };
    const std::vector<Case> cases = {
        {{2026, 1, 2, 9, 5, 3, 99}, "(09:05:03.0) : "},
        {{2026, 1, 2, 23, 59, 59, 999}, "(23:59:59.9) : "},
        {{2026, 1, 2, 0, 0, 0, 100}, "(00:00:00.1) : "},
    };
    for (const auto& c : cases) {
        Reception r(c.time);
        const int readsBefore = r.clock.reads;
        ASSERT_EQ(r.Decode({0x70, 0, 0, 0, 0, 0}), 0);
        EXPECT_EQ(r.clock.reads, readsBefore + 1);
        EXPECT_EQ(r.LastLine().substr(0, kPrefixLength), c.prefix);
    }
}

TEST(TelegramDecoder, IntervalIsTheFullGapRoundedHalfAwayFromZero) {
    struct Case {
        int64_t gapMs;
        std::string interval;
    };
    const std::vector<Case> cases = {
        {0, "(0.00s)"},
        {4, "(0.00s)"},
        {5, "(0.01s)"},
        {1235, "(1.24s)"},
        {2345, "(2.35s)"},
        {214740, "(214.74s)"},
        {214749, "(214.75s)"},
        {300000, "(300.00s)"},
        {500000, "(500.00s)"},
        {3600000, "(3600.00s)"},
        {86400000, "(86400.00s)"},
        {-1000, "(-1.00s)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        Reception r;
        r.Decode({0x12, 0, 0, 0, 0, 0});
        r.clock.AdvanceMs(c.gapMs);
        ASSERT_EQ(r.Decode({0x12, 0, 0, 0, 0, 0}), 0);
        EXPECT_EQ(r.LastText().substr(0, c.interval.size()), c.interval);
    }
}

TEST(TelegramDecoder, IntervalRunsAcrossMidnight) {
    Reception r({2026, 12, 31, 23, 59, 59, 900});
    r.Decode({0x40, 0, 0, 0, 0, 0});
    r.clock.AdvanceMs(200);
    r.Decode({0x40, 0, 0, 0, 0, 0});
    EXPECT_EQ(r.LastLine().substr(0, 24), "(00:00:00.1) : (0.20s)  ");
}

TEST(TelegramDecoder, FirstRecordOfEverySensorShowsTheTimeSinceStart) {
    Reception r;
    r.clock.AdvanceMs(123456);
    r.Decode({0x25, 0, 0, 0, 0, 0});
    EXPECT_EQ(r.LastText(), "(123.46s)  Regen (5)  000");
    r.Decode({0x71, 0, 0, 0, 0, 0});
    EXPECT_EQ(r.LastText(), "---- Fenster Low 123.46 s");
    r.clock.AdvanceMs(3600000 - 123456);
    r.Decode({0x66, 0, 0, 0, 0, 0});
    EXPECT_EQ(r.LastText(), "(3600.00s)  Pyranometer (6)  0  Faktor 0");
}

TEST(TelegramDecoder, EachSensorKeepsItsOwnClock) {
    Reception r;
    r.clock.AdvanceMs(1000);
    r.Decode({0x03, 0, 0, 0, 0, 0});  // TempOnly 3
    r.clock.AdvanceMs(2000);
    r.Decode({0x13, 0, 0, 0, 0, 0});  // Outdoor 3: same mask bit, its own clock
    EXPECT_EQ(r.LastText().substr(0, 9), "(3.00s)  ");
    r.clock.AdvanceMs(4000);
    r.Decode({0x03, 0, 0, 0, 0, 0});
    EXPECT_EQ(r.LastText().substr(0, 9), "(6.00s)  ");
    r.Decode({0x14, 0, 0, 0, 0, 0});  // Outdoor 4: first record
    EXPECT_EQ(r.LastText().substr(0, 9), "(7.00s)  ");
    r.Decode({0x1B, 0, 0, 0, 0, 0});  // the version flag does not make another sensor
    EXPECT_EQ(r.LastText().substr(0, 9), "(4.00s)  ");
}

TEST(TelegramDecoder, FilteredRecordStillMovesItsClock) {
    Reception r;
    r.clock.AdvanceMs(5000);
    EXPECT_EQ(r.Decode({0x12, 0, 0, 0, 0, 0}, 0), -1);
    EXPECT_EQ(r.list.LineCount(), 0);
    r.clock.AdvanceMs(10000);
    EXPECT_EQ(r.Decode({0x12, 0, 0, 0, 0, 0}), 0);
    EXPECT_EQ(r.LastText().substr(0, 10), "(10.00s)  ");
}

TEST(TelegramDecoder, FensterEventsShareOneClockAndIgnoreTheMask) {
    Reception r;
    r.clock.AdvanceMs(3000);
    EXPECT_EQ(r.Decode({0x70, 0, 0, 0, 0, 0}, 0), 0);
    EXPECT_EQ(r.LastText(), "++++ Fenster High 3.00 s");
    r.clock.AdvanceMs(5000);
    EXPECT_EQ(r.Decode({0xF1, 0x80, 0, 0, 0, 0}, 0), 0);
    EXPECT_EQ(r.LastText(), "---- Fenster Low 5.00 s");
    r.clock.AdvanceMs(1000);
    EXPECT_EQ(r.Decode({0x70, 0, 0, 0, 0, 0}, 0), 0);
    EXPECT_EQ(r.LastText(), "++++ Fenster High 1.00 s");
    EXPECT_EQ(r.list.LineCount(), 3);
}

TEST(TelegramDecoder, UnknownSpecialSubtypesAndRemoteControlLeaveTheClocksAlone) {
    for (uint8_t subtype = 2; subtype <= 14; ++subtype) {
        SCOPED_TRACE(static_cast<int>(subtype));
        Reception r;
        r.clock.AdvanceMs(5000);
        EXPECT_EQ(r.Decode({static_cast<uint8_t>(0x70 | subtype), 'A', 'B', 'C', 'D', 'E'}), -1);
        EXPECT_EQ(r.list.LineCount(), 0);
        EXPECT_EQ(r.Decode({0x7F, 'A', 'B', 'C', 'D', 'E'}), 0);  // remote control: no clock
        r.clock.AdvanceMs(5000);
        r.Decode({0x70, 0, 0, 0, 0, 0});
        EXPECT_EQ(r.LastText(), "++++ Fenster High 10.00 s");
        EXPECT_EQ(r.list.LineCount(), 2);
    }
}

TEST(TelegramDecoder, MissingEtxLeavesNoTraceAndReadsNoTime) {
    for (const uint8_t end : {0x00, 0x02, 0x04, 0x83, 0xFF}) {
        SCOPED_TRACE(static_cast<int>(end));
        Reception r;
        r.clock.AdvanceMs(5000);
        const int reads = r.clock.reads;
        EXPECT_EQ(r.Decode({0x11, 0, 123, 67, 0, 0}, kAllRecordings, end), -1);
        EXPECT_EQ(r.Decode({0x70, 0, 0, 0, 0, 0}, kAllRecordings, end), -1);
        EXPECT_EQ(r.clock.reads, reads);
        EXPECT_EQ(r.list.LineCount(), 0);
        r.clock.AdvanceMs(5000);
        r.Decode({0x11, 0, 123, 67, 0, 0});
        EXPECT_EQ(r.LastText().substr(0, 10), "(10.00s)  ");
        r.Decode({0x70, 0, 0, 0, 0, 0});
        EXPECT_EQ(r.LastText(), "++++ Fenster High 10.00 s");
    }
}

TEST(TelegramDecoder, EachRecordIsGovernedByItsOneMaskBit) {
    struct Rule {
        uint8_t kind;
        int firstBit;
        bool perAddress;  // bit = firstBit + address
    };
    const std::vector<Rule> rules = {
        {0, 0, true},  {1, 0, true},   {2, 8, false},  {3, 9, false},
        {4, 10, true}, {5, 18, false}, {6, 19, false},
    };
    for (const auto& rule : rules) {
        for (uint8_t d0 = 0; d0 < 16; ++d0) {  // addresses 0..7, both version flags
            const uint8_t address = d0 & 7;
            const int bit = rule.firstBit + (rule.perAddress ? address : 0);
            SCOPED_TRACE(::testing::Message() << "kind " << int{rule.kind} << " d0 " << int{d0});
            const Data data = {static_cast<uint8_t>(rule.kind << 4 | d0), 1, 2, 3, 4, 5};
            Reception r;
            EXPECT_EQ(r.Decode(data, RecordingMask{1} << bit), 0);
            EXPECT_EQ(r.Decode(data, kAllRecordings & ~(RecordingMask{1} << bit)), -1);
            EXPECT_EQ(r.Decode(data, ~kAllRecordings), -1);  // unused bits select nothing
            EXPECT_EQ(r.list.LineCount(), 1);
        }
    }
    Reception r;
    EXPECT_EQ(r.Decode({0x7F, 'A', 'B', 'C', 'D', 'E'}, RecordingMask{1} << 20), 0);
    EXPECT_EQ(r.Decode({0x7F, 'A', 'B', 'C', 'D', 'E'}, kAllRecordings & ~(1u << 20)), -1);
}

TEST(TelegramDecoder, AddressFiveOfEachSensorFamily) {
    Reception r;
    EXPECT_EQ(r.Decode({0x45, 0, 0, 0, 0, 0}, 1u << 15), 0);  // Indoor 5
    EXPECT_EQ(r.Decode({0x45, 0, 0, 0, 0, 0}, 1u << 5), -1);
    EXPECT_EQ(r.Decode({0x15, 0, 0, 0, 0, 0}, 1u << 5), 0);  // Outdoor 5
    EXPECT_EQ(r.Decode({0x05, 0, 0, 0, 0, 0}, 1u << 5), 0);  // TempOnly 5, the same bit
    EXPECT_EQ(r.Decode({0x15, 0, 0, 0, 0, 0}, 1u << 15), -1);
    EXPECT_EQ(r.Decode({0x05, 0, 0, 0, 0, 0}, 1u << 15), -1);
    EXPECT_EQ(r.list.LineCount(), 3);
}

// Whatever seven bytes arrive, the decoder gives one bounded, printable line or -1.
TEST(TelegramDecoder, AnyBytesGiveOneBoundedLineOrNothing) {
    const std::vector<Data> patterns = {
        {0, 0x00, 0x00, 0x00, 0x00, 0x00}, {0, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F},
        {0, 0x80, 0x80, 0x80, 0x80, 0x80}, {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        {0, 0x40, 0x00, 0xFF, 0xFF, 0xFF}, {0, 0xC0, 0x80, 0x01, 0x0A, 0x0D},
        {0, 0x3F, 0x7F, 0x1B, 0x00, 0x7F},
    };
    // Far apart clock readings make the longest intervals.
    const std::vector<LocalTime> readings = {
        {2026, 12, 7, 14, 3, 7, 456}, {9999, 12, 31, 23, 59, 59, 999}, {1601, 1, 1, 0, 0, 0, 0}};
    Reception r;
    for (const auto& reading : readings) {
        r.clock.Set(reading);
        for (int d0 = 0; d0 < 256; ++d0) {
            for (auto data : patterns) {
                data[0] = static_cast<uint8_t>(d0);
                const int before = r.list.LineCount();
                const std::string previous = r.LastLine();
                const int result = r.Decode(data);
                const int special = d0 & 0x7F;
                const bool unknownSubtype = special >= 0x72 && special <= 0x7E;
                ASSERT_EQ(result, unknownSubtype ? -1 : 0) << d0;
                if (result != 0) {
                    EXPECT_EQ(r.LastLine(), previous);
                    continue;
                }
                ASSERT_TRUE(before == kMaxListLines || r.list.LineCount() == before + 1);
                const std::string line = r.LastLine();
                EXPECT_LT(line.size(), 100u) << d0;
                EXPECT_EQ(line[0], '(');
                for (const char c : line) {
                    const auto byte = static_cast<unsigned char>(c);
                    ASSERT_TRUE(byte >= 0x20 && byte != 0x7F) << "d0 " << d0 << ": " << line;
                }
            }
        }
    }
}

TEST(TelegramDecoder, EachQuantitysDecodableRangeIsWhatTheDecoderGives) {
    // Every value of each field of each kind (the others at 0), decoded: the lowest and the
    // highest of every quantity are exactly its DecodableRange.
    testing::FakeWallClock clock({2026, 12, 7, 14, 3, 7, 456});
    TelegramDecoder decoder(clock, clock);
    std::array<DecodableRange, 9> seen;
    std::array<bool, 9> any{};
    const auto take = [&](int kind, int d1, int d2, int d3, int d4, int d5) {
        const std::array<uint8_t, 7> bytes = {static_cast<uint8_t>(kind << 4),
                                              static_cast<uint8_t>(d1),
                                              static_cast<uint8_t>(d2),
                                              static_cast<uint8_t>(d3),
                                              static_cast<uint8_t>(d4),
                                              static_cast<uint8_t>(d5),
                                              0x03};
        const std::optional<Reading> r = decoder.Decode(bytes);
        ASSERT_TRUE(r.has_value());
        for (std::size_t i = 0; i < r->valueCount; ++i) {
            const auto q = static_cast<std::size_t>(r->values[i].quantity);
            const int32_t raw = r->values[i].raw;
            seen[q] = any[q]
                          ? DecodableRange{std::min(seen[q].min, raw), std::max(seen[q].max, raw)}
                          : DecodableRange{raw, raw};
            any[q] = true;
        }
    };
    for (int kind = 0; kind < 7; ++kind) {
        for (int high = 0; high < 128; ++high) {
            take(kind, 0, 0, high, 0, 0);
            for (int low = 0; low < 128; ++low) {
                take(kind, high, low, 0, 0, 0);
                take(kind, 0, 0, 0, high, low);
            }
        }
    }
    for (std::size_t q = 0; q < seen.size(); ++q) {
        SCOPED_TRACE(InfoOf(static_cast<Quantity>(q)).key);
        ASSERT_TRUE(any[q]);
        EXPECT_EQ(seen[q].min, DecodableRangeOf(static_cast<Quantity>(q)).min);
        EXPECT_EQ(seen[q].max, DecodableRangeOf(static_cast<Quantity>(q)).max);
    }
}

}  // namespace
}  // namespace tavrolin
