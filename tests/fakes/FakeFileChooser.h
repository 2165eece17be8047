// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "decode/FileChooser.h"

namespace tavrolin::testing {

// A file dialog that gives the scripted answer and records the filters it was shown.
class FakeFileChooser : public FileChooser {
public:
    std::optional<std::string> ChooseFile(const std::vector<FileFilter>& filters) override {
        shownFilters.push_back(filters);
        if (whileOpen) {
            whileOpen();
        }
        return answer;
    }

    std::optional<std::string> answer;  // nothing: the user cancels
    // Runs while the dialog is "open": the window's timer keeps decoding meanwhile.
    std::function<void()> whileOpen;
    std::vector<std::vector<FileFilter>> shownFilters;
};

}  // namespace tavrolin::testing
