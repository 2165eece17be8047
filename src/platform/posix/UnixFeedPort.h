// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>
#include <sys/un.h>

#include <memory>
#include <string>
#include <vector>

#include "app/LiveFeed.h"

namespace tavrolin {

// The live feed's Unix-domain socket (SOCK_STREAM): every call returns at once. Its folder is
// made (0700) where it is missing; the socket admits the owner, and where the folder admits a
// group (the service's /run/tavrolin, 0750), that group too (0660). A socket left by a
// program that is gone is taken over; one that a running program answers on is not.
class UnixFeedPort : public FeedPort {
public:
    UnixFeedPort() = default;
    ~UnixFeedPort() override;
    UnixFeedPort(const UnixFeedPort&) = delete;
    UnixFeedPort& operator=(const UnixFeedPort&) = delete;

    // False with a German reason, after which nothing is offered.
    bool Listen(const std::string& path, std::string& error);

    void Look(std::vector<int>& joined, std::vector<int>& gone) override;
    std::ptrdiff_t Send(int reader, std::string_view bytes) override;
    void Drop(int reader) override;

private:
    // Adds fd to the descriptors Look waits on.
    bool Watch(int fd) const;

    std::string m_path;
    int m_ready = -1;  // epoll: the listener and the readers
    int m_listener = -1;
    ino_t m_inode = 0;  // of the socket made, so that only this one is removed at the end
    std::vector<int> m_readers;
};

// The socket address of path; false where the path does not fit one.
bool FeedAddress(const std::string& path, sockaddr_un& address);

// A port listening at path, for Outputs (OutputPlatform::makeFeedPort); none with a reason.
std::unique_ptr<FeedPort> ListenForFeedReaders(const std::string& path, std::string& error);

}  // namespace tavrolin
