// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PortNames.h"

#include <gtest/gtest.h>

#include "MemoryFileSystem.h"

namespace tavrolin {
namespace {

TEST(PortNames, TheProfileNamesTheDeviceOfAPortOtherwiseTheSerialDriverDoes) {
    testing::MemoryFileSystem files;
    SettingsStore settings(files, "/cfg/tavrolin.INI");
    const auto resolve = ProfilePortResolver(settings);
    EXPECT_EQ(resolve(1), "/dev/ttyS0");

    settings.WriteString("Ports", "COM1", "/dev/ttyUSB0");
    settings.WriteString("Ports", "com3", "/dev/serial/by-id/usb-Adapter_123-if00-port0");
    settings.WriteString("SYSTEM", "COM2", "/dev/ttyUSB9");  // only the Ports section counts
    EXPECT_EQ(resolve(1), "/dev/ttyUSB0");
    EXPECT_EQ(resolve(2), "/dev/ttyS1");
    EXPECT_EQ(resolve(3), "/dev/serial/by-id/usb-Adapter_123-if00-port0");
    EXPECT_EQ(resolve(4), "/dev/ttyS3");
}

TEST(PortNames, ADeviceGivenDirectlyServesEveryPort) {
    const auto resolve = FixedPortResolver("/dev/ttyACM0");
    EXPECT_EQ(resolve(1), "/dev/ttyACM0");
    EXPECT_EQ(resolve(3), "/dev/ttyACM0");
}

}  // namespace
}  // namespace tavrolin
