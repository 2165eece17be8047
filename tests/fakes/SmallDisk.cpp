// SPDX-License-Identifier: GPL-3.0-or-later
#include "SmallDisk.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tavrolin::testing {

SmallDisk::SmallDisk(std::size_t bytes) : m_root(m_dir.File("disk")) {
    std::filesystem::create_directory(m_root);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    if (::mount("tavrolin-test", m_root.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                options.c_str()) == 0) {
        m_mounted = true;
    } else {
        m_why = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    }
}

SmallDisk::~SmallDisk() {
    if (m_mounted) {
        // Lazily: a descriptor the test still holds must not keep the folder from going.
        ::umount2(m_root.c_str(), MNT_DETACH);
    }
}

}  // namespace tavrolin::testing
