// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

#include "TempDir.h"

namespace tavrolin::testing {

// A tmpfs of a few pages mounted on a fresh folder: a disk that really fills up. Mounting
// needs root (CAP_SYS_ADMIN) and a system that allows it; where it is refused, Mounted() is
// false and Why() says why, so that the test can skip. Unmounted when the test ends.
class SmallDisk {
public:
    explicit SmallDisk(std::size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& Why() const { return m_why; }
    std::string File(const std::string& name) const { return m_root + "/" + name; }

private:
    TempDir m_dir;
    std::string m_root;
    bool m_mounted = false;
    std::string m_why;
};

}  // namespace tavrolin::testing
