// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/UploadState.h"

#include <openssl/evp.h>

#include <charconv>

#include "base/FileSystem.h"

namespace tavrolin {

namespace {

constexpr std::size_t kMostStateBytes = 64 * 1024;

int64_t Number(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        c = c == '\n' || c == '\r' ? ' ' : c;
    }
    return line;
}

}  // namespace

std::string StateText(const UploadState& s) {
    return "sent_up_to_ms=" + std::to_string(s.sentUpToMs) +
           "\nlast_success_ms=" + std::to_string(s.lastSuccessMs) +
           "\nlast_error_ms=" + std::to_string(s.lastErrorMs) +
           "\nlast_error=" + OneLine(s.lastError) + "\nrefused=" + OneLine(s.refused) + "\n";
}

UploadState ParseState(std::string_view text) {
    UploadState s;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "sent_up_to_ms") {
            s.sentUpToMs = Number(value);
        } else if (key == "last_success_ms") {
            s.lastSuccessMs = Number(value);
        } else if (key == "last_error_ms") {
            s.lastErrorMs = Number(value);
        } else if (key == "last_error") {
            s.lastError = std::string(value);
        } else if (key == "refused") {
            s.refused = std::string(value);
        }
    }
    return s;
}

std::string StatePath(const std::string& folder, std::string_view network) {
    return folder + "/" + std::string(network) + ".state";
}

UploadState LoadState(FileSystem& files, const std::string& path) {
    FileError error = FileError::None;
    const std::optional<std::string> text = files.ReadFile(path, kMostStateBytes, error);
    return text ? ParseState(*text) : UploadState{};
}

bool SaveState(FileSystem& files, const std::string& path, const UploadState& state) {
    return files.ReplaceFile(path, StateText(state)) == FileError::None;
}

std::string SectionDigest(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr) != 1) {
        return "?";
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

}  // namespace tavrolin
