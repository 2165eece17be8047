# SPDX-License-Identifier: GPL-3.0-or-later
# Debian armhf (32-bit, ARMv7 with hard float: Raspberry Pi 2 and later on a 32-bit system).
set(TAVROLIN_CROSS_TRIPLET arm-linux-gnueabihf)
set(TAVROLIN_CROSS_PROCESSOR armv7l)
set(TAVROLIN_CROSS_QEMU /usr/bin/qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/Debian-cross.cmake)
