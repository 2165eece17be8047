// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempDir.h"

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace tavrolin::testing {

TempDir::TempDir() {
    std::random_device random;
    for (;;) {
        std::ostringstream name;
        name << "tavrolin-test-" << std::hex << random() << random();
        m_path = std::filesystem::temp_directory_path() / name.str();
        if (std::filesystem::create_directory(m_path)) {
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace tavrolin::testing
