// SPDX-License-Identifier: GPL-3.0-or-later
// The live feed's socket on the real system: who may connect, what is taken over and what is
// left alone at its path, and readers that come, go and stop reading.
#include "platform/posix/UnixFeedPort.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cstring>
#include <string>

#include "TempDir.h"

namespace tavrolin {
namespace {

int Connect(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 0777;
}

TEST(UnixFeedPort, AdmitsTheOwnerTakesOverWhatIsLeftAndLeavesOtherFilesAlone) {
    testing::TempDir dir;
    const std::string path = dir.File("tavrolin/live.sock");
    std::string error;
    {
        UnixFeedPort port;
        ASSERT_TRUE(port.Listen(path, error)) << error;
        EXPECT_EQ(ModeOf(dir.File("tavrolin")), 0700u) << "its folder made for the owner";
        EXPECT_EQ(ModeOf(path), 0600u);
        UnixFeedPort second;
        EXPECT_FALSE(second.Listen(path, error));
        EXPECT_NE(error.find("ein anderes Programm bietet ihn schon an"), std::string::npos);

        // The second one's look whether anyone answers: a reader that came and went.
        std::vector<int> joined, gone;
        port.Look(joined, gone);
        port.Look(joined, gone);
        EXPECT_EQ(joined.size(), 1u);
        EXPECT_EQ(gone, joined);
        joined.clear();
        gone.clear();

        const int reader = Connect(path);
        ASSERT_GE(reader, 0);
        port.Look(joined, gone);
        ASSERT_EQ(joined.size(), 1u);
        EXPECT_EQ(port.Send(joined[0], "eins\n"), 5);
        char got[16] = {};
        EXPECT_EQ(::recv(reader, got, sizeof got, 0), 5);
        // One that never reads fills its socket, and the sends take nothing, at once.
        const std::string block(64 * 1024, 'x');
        std::ptrdiff_t taken = 0;
        for (int i = 0; i < 100 && (taken = port.Send(joined[0], block)) > 0; ++i) {
        }
        EXPECT_EQ(taken, 0);
        ::close(reader);
        joined.clear();
        port.Look(joined, gone);
        EXPECT_EQ(gone.size(), 1u) << "a reader that hung up";
    }
    EXPECT_NE(::access(path.c_str(), F_OK), 0) << "removed at the end";

    // A group that may enter the folder may connect too.
    ASSERT_EQ(::chmod(dir.File("tavrolin").c_str(), 0750), 0);
    {
        UnixFeedPort port;
        ASSERT_TRUE(port.Listen(path, error)) << error;
        EXPECT_EQ(ModeOf(path), 0660u);
    }
    // A file that is no socket is no one's feed: it stays.
    testing::WriteBytes(path, "kostbar");
    UnixFeedPort port;
    EXPECT_FALSE(port.Listen(path, error));
    EXPECT_NE(error.find("kein Socket"), std::string::npos) << error;
    EXPECT_EQ(testing::ReadBytes(path), "kostbar");
}

}  // namespace
}  // namespace tavrolin
