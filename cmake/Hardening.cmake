# SPDX-License-Identifier: GPL-3.0-or-later
# Part of the hardening Debian builds its packages with (dpkg-buildflags with hardening=+all):
# the programs read a serial line, profiles, JSON Lines and a broker's packets. Not under the
# sanitizers, which bring checks of their own. _FORTIFY_SOURCE is not among these flags yet:
# it marks results such as ftruncate's as not to be ignored, which -Werror then refuses.
if(NOT TAVROLIN_SANITIZE)
    add_compile_options(-fstack-protector-strong -fstack-clash-protection)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|i.86")
        add_compile_options(-fcf-protection)
    endif()
    add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
