# SPDX-License-Identifier: GPL-3.0-or-later
# One place for the warning flags: every target of the project links tavrolin_warnings.
add_library(tavrolin_warnings INTERFACE)
target_compile_options(tavrolin_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(TAVROLIN_WERROR)
    target_compile_options(tavrolin_warnings INTERFACE -Werror)
endif()
