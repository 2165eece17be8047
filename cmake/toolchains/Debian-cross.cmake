# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build on Debian with multiarch: the target's libraries and headers are Debian's
# packages of that architecture (libfoo-dev:arm64), installed beside the host's own under
# /usr/lib/<triplet>, so no sysroot is needed. Included by the toolchain file of each
# architecture after it has set TAVROLIN_CROSS_TRIPLET, TAVROLIN_CROSS_PROCESSOR and
# TAVROLIN_CROSS_QEMU. scripts/install-deps --cross ARCH installs what this needs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${TAVROLIN_CROSS_PROCESSOR})
set(CMAKE_LIBRARY_ARCHITECTURE ${TAVROLIN_CROSS_TRIPLET})
set(CMAKE_C_COMPILER ${TAVROLIN_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TAVROLIN_CROSS_TRIPLET}-g++)

# Programs (scdoc, gzip, mosquitto, lintian's helpers) are the host's; libraries, headers and
# CMake packages only the target's. The host's own /usr/lib/x86_64-linux-gnu stays out of reach
# because CMake looks for libraries below lib/<CMAKE_LIBRARY_ARCHITECTURE> first and the
# target's package configs name their own paths.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# pkg-config reads the target's .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${TAVROLIN_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)

# Qt's code generators (moc, uic, rcc) run on the build machine: Qt takes them from the host's
# Qt of the same version (qt6-base-dev-tools), which QT_HOST_PATH points to.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# The tests run under qemu's user emulation: ctest and gtest_discover_tests start each test
# program through it. Programs that a test starts by itself (the simulator, the logger) reach
# qemu through the kernel's binfmt_misc, which scripts/install-deps --cross sets up.
set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVROLIN_CROSS_QEMU})
