// SPDX-License-Identifier: GPL-3.0-or-later
#include "AddressWordDecoder.h"

namespace tavrolin::testing {

std::optional<std::vector<uint16_t>> DecodeAddressWords(const std::vector<EscapeCode>& escapes) {
    std::vector<uint16_t> words;
    bool dtr = false;
    bool rts = false;
    bool inWord = false;
    std::vector<bool> samples;
    for (const EscapeCode code : escapes) {
        switch (code) {
            case EscapeCode::SetDtr:
                if (!dtr && inWord) {
                    samples.push_back(!rts);
                }
                dtr = true;
                break;
            case EscapeCode::ClrDtr:
                dtr = false;
                break;
            case EscapeCode::SetRts:
                if (dtr && !rts) {
                    if (inWord) {
                        return std::nullopt;  // a second opening inside a word
                    }
                    inWord = true;
                    samples.clear();
                }
                rts = true;
                break;
            case EscapeCode::ClrRts:
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
                break;
        }
    }
    if (inWord) {
        return std::nullopt;
    }
    return words;
}

}  // namespace tavrolin::testing
