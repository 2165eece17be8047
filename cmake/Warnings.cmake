# SPDX-License-Identifier: GPL-3.0-or-later
# One place for the warning flags: every target of the project links tavrolin_warnings.
add_library(tavrolin_warnings INTERFACE)
target_compile_options(tavrolin_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(TAVROLIN_WERROR)
    target_compile_options(tavrolin_warnings INTERFACE -Werror)
endif()
# On 32-bit ARM GCC notes, for every std::vector<T>::iterator passed, that such arguments are
# passed otherwise than by GCC before 7.1; that matters only for linking code built by those,
# and Debian 12 builds all with GCC 12.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(tavrolin_warnings INTERFACE -Wno-psabi)
endif()
