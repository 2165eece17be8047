# SPDX-License-Identifier: GPL-3.0-or-later
# Debian arm64 (64-bit Raspberry Pi OS and Debian on a Pi 3, 4, 5 or Zero 2).
set(TAVROLIN_CROSS_TRIPLET aarch64-linux-gnu)
set(TAVROLIN_CROSS_PROCESSOR aarch64)
set(TAVROLIN_CROSS_QEMU /usr/bin/qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/Debian-cross.cmake)
