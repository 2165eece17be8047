// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a program under a system-call filter like the one a service unit's SystemCallFilter=
// and RestrictAddressFamilies= set up: only the named calls are allowed, socket() only for
// the named address families (any other fails with EAFNOSUPPORT, as under the service), and
// every other call ends the process with SIGSYS. The service answers such a call with EPERM;
// ending the process instead makes a call the filter lacks show at once.
//
//   seccomp-exec --allow read,write,... --families 1,2,10 -- PROGRAM [ARGS...]
//
// The caller must have set no_new_privs (setpriv --no-new-privs) or hold CAP_SYS_ADMIN.
#include <seccomp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> SplitList(std::string_view list) {
    std::vector<std::string> items;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (comma != 0) {
            items.emplace_back(list.substr(0, comma));
        }
        if (comma == std::string_view::npos) {
            break;
        }
        list.remove_prefix(comma + 1);
    }
    return items;
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "seccomp-exec: %s\n", what.c_str());
    std::exit(127);
}

void Add(scmp_filter_ctx filter, uint32_t action, int call, std::vector<scmp_arg_cmp> conditions) {
    const int rc =
        seccomp_rule_add_array(filter, action, call, static_cast<unsigned>(conditions.size()),
                               conditions.empty() ? nullptr : conditions.data());
    if (rc != 0) {
        Fail(std::string("a rule was refused: ") + std::strerror(-rc));
    }
}

// A condition on the first argument (the library's SCMP_A0 is a C compound literal).
scmp_arg_cmp FirstArgument(scmp_compare op, scmp_datum_t value) {
    return scmp_arg_cmp{0, op, value, 0};
}

// socket(): allowed for the families given, EAFNOSUPPORT for all others. A rule compares
// an argument once only, so every family below AF_MAX gets a rule of its own.
void AddSocketRules(scmp_filter_ctx filter, const std::vector<int>& families) {
    const int call = SCMP_SYS(socket);
    for (int family = 0; family < AF_MAX; ++family) {
        const bool allowed = std::find(families.begin(), families.end(), family) != families.end();
        Add(filter, allowed ? SCMP_ACT_ALLOW : SCMP_ACT_ERRNO(EAFNOSUPPORT), call,
            {FirstArgument(SCMP_CMP_EQ, static_cast<scmp_datum_t>(family))});
    }
    Add(filter, SCMP_ACT_ERRNO(EAFNOSUPPORT), call,
        {FirstArgument(SCMP_CMP_GE, static_cast<scmp_datum_t>(AF_MAX))});
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> allowed;
    std::vector<int> families;
    int at = 1;
    for (; at + 1 < argc && std::string_view(argv[at]) != "--"; at += 2) {
        const std::string_view option = argv[at];
        if (option == "--allow") {
            allowed = SplitList(argv[at + 1]);
        } else if (option == "--families") {
            for (const std::string& family : SplitList(argv[at + 1])) {
                families.push_back(std::atoi(family.c_str()));
            }
        } else {
            Fail("unknown option " + std::string(option));
        }
    }
    if (at >= argc || std::string_view(argv[at]) != "--" || at + 1 >= argc) {
        Fail("usage: seccomp-exec --allow CALLS --families NUMBERS -- PROGRAM [ARGS...]");
    }

    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (filter == nullptr) {
        Fail("no filter");
    }
    bool socketAllowed = false;
    for (const std::string& name : allowed) {
        const int call = seccomp_syscall_resolve_name(name.c_str());
        if (call == __NR_SCMP_ERROR) {
            continue;  // a call of another architecture
        }
        if (name == "socket") {
            socketAllowed = true;
            continue;
        }
        // Calls that this architecture lacks resolve to negative pseudo numbers, which the
        // library may refuse; the service manager skips them too.
        if (seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) != 0 && call >= 0) {
            Fail("cannot allow " + name);
        }
    }
    if (socketAllowed && families.empty()) {
        Add(filter, SCMP_ACT_ALLOW, SCMP_SYS(socket), {});
    } else if (socketAllowed) {
        AddSocketRules(filter, families);
    }
    const int rc = seccomp_load(filter);
    seccomp_release(filter);
    if (rc != 0) {
        Fail(std::string("the filter was not loaded: ") + std::strerror(-rc));
    }
    ::execv(argv[at + 1], argv + at + 1);
    Fail(std::string("cannot run ") + argv[at + 1] + ": " + std::strerror(errno));
}
