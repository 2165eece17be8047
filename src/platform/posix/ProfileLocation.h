// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tavrolin {

// The profile of a program: "<name>.INI" in $XDG_CONFIG_HOME, or in ~/.config without it.
// programName is the executable's file name; a directory and an extension are dropped
// ("/usr/bin/tavrolin" and "tavrolin.bin" both give "tavrolin.INI").
std::string ProfilePath(std::string_view programName);

// The folder the profile lives in, created when missing (like the system folder the
// profile functions write to, it is expected to exist).
std::string ProfileFolder();

// The archive's default place: "tavrolin/archiv.sqlite" in $XDG_DATA_HOME, or in
// ~/.local/share without it. With `createFolder` its folders are made as needed.
std::string DefaultArchivePath(bool createFolder);
// Where tavrolin-upload keeps what each network has been sent: the service's state folder
// ($STATE_DIRECTORY, /var/lib/tavrolin-upload), else "tavrolin-upload" in $XDG_STATE_HOME,
// or in ~/.local/state without it.
std::string DefaultUploadStateFolder();

// The live feed's default socket: "live.sock" in the service's runtime folder
// ($RUNTIME_DIRECTORY, /run/tavrolin for tavrolin-log.service), else in
// $XDG_RUNTIME_DIR/tavrolin for a user, else /run/tavrolin/live.sock (where tavrolin-web as a
// service finds the logger's).
std::string DefaultLivePath();

}  // namespace tavrolin
