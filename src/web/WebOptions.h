// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/SettingsStore.h"

namespace tavrolin {

// Where the browser view listens unless told otherwise: only this machine can reach it.
inline constexpr std::string_view kDefaultWebHost = "127.0.0.1";
inline constexpr uint16_t kDefaultWebPort = 8470;

// "127.0.0.1:8470", "[::1]:8470", "0.0.0.0:80", "[::]:8470": an address of either family and
// a port 1..65535. The host is kept without its brackets.
struct ListenAddress {
    std::string host;
    uint16_t port = 0;
};
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

// The command line of tavrolin-web; empty strings where the profile or the default decides.
struct WebOptions {
    std::string listen;
    std::string archivePath;
    std::string profilePath;
    std::string certFile;
    std::string keyFile;
    std::string uploadStateFolder;  // tavrolin-upload's, for the "Uploads" lines
    bool hashPassword = false;      // --hash-password: make a [Web] Passwort entry and end
    bool help = false;
    bool version = false;
};

struct ParsedWebOptions {
    std::optional<WebOptions> options;  // absent when the command line is wrong
    std::string error;                  // what is wrong with it, German
};
ParsedWebOptions ParseWebOptions(std::span<const std::string_view> args);

// The profile's section "Web", which only tavrolin-web reads (its keys named like [MQTT]'s):
//   Listen=0.0.0.0:8470              where it listens (as --listen)
//   User=anna                        with PasswordHash: every request needs this login
//   PasswordHash=pbkdf2-sha256$...   what tavrolin-web --hash-password made of the password
//   Cert=/etc/tavrolin/web.pem       with Key: speaks HTTPS (as --cert and --key)
//   Key=/etc/tavrolin/web.key
struct WebSettings {
    static constexpr const char* kSection = "Web";

    std::string listen;
    std::string user;
    std::string passwordHash;
    std::string certFile;
    std::string keyFile;

    static WebSettings Read(const SettingsStore& store);
};

struct WebConfig;
// The server's configuration of the command line over the profile's [Web]; nothing, with
// the German reason, where they are wrong.
std::optional<WebConfig> MakeWebConfig(const WebOptions& options, const WebSettings& web,
                                       std::string& error);

// The text of --help, German like every message.
std::string WebUsage();

}  // namespace tavrolin
