// SPDX-License-Identifier: GPL-3.0-or-later
#include "AddressWordDecoder.h"

namespace tavrolin::testing {

std::optional<std::vector<uint16_t>> DecodeAddressWords(const std::vector<LineChange>& changes) {
    std::vector<uint16_t> words;
    bool dtr = false;
    bool rts = false;
    bool inWord = false;
    std::vector<bool> samples;
    for (const LineChange& change : changes) {
        if (change.line == LineChange::Line::Dtr) {
            if (change.high && !dtr && inWord) {
                samples.push_back(!rts);
            }
            dtr = change.high;
        } else if (change.high) {
            if (dtr && !rts) {
                if (inWord) {
                    return std::nullopt;  // a second opening inside a word
                }
                inWord = true;
                samples.clear();
            }
            rts = true;
        } else {
            if (dtr && rts && inWord) {
                if (samples.size() != 17 || samples[16]) {
                    return std::nullopt;
                }
                uint16_t word = 0;
                for (int i = 0; i < 16; ++i) {
                    word = static_cast<uint16_t>(word | (samples[i] ? 1u << i : 0u));
                }
                words.push_back(word);
                inWord = false;
            }
            rts = false;
        }
    }
    if (inWord) {
        return std::nullopt;
    }
    return words;
}

}  // namespace tavrolin::testing
