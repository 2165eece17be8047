# SPDX-License-Identifier: GPL-3.0-or-later
# Turns the browser view's files into a C++ source (cmake -DOUTPUT=... -DFILES="a;b" -P ...),
# so that tavrolin-web carries its pages in itself and serves nothing from the file system by
# a name a request gives. Each file becomes a byte array, with its content type by extension.
set(entries "")
set(arrays "")
set(index 0)
foreach(path IN LISTS FILES)
    get_filename_component(name "${path}" NAME)
    get_filename_component(ext "${path}" LAST_EXT)
    if(ext STREQUAL ".html")
        set(type "text/html; charset=utf-8")
    elseif(ext STREQUAL ".js")
        set(type "text/javascript; charset=utf-8")
    elseif(ext STREQUAL ".css")
        set(type "text/css; charset=utf-8")
    elseif(ext STREQUAL ".svg")
        set(type "image/svg+xml")
    elseif(ext STREQUAL ".png")
        set(type "image/png")
    elseif(ext STREQUAL ".webmanifest")
        set(type "application/manifest+json")
    else()
        message(FATAL_ERROR "unknown type of ${path}")
    endif()
    file(READ "${path}" hex HEX)
    string(LENGTH "${hex}" length)
    math(EXPR size "${length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes}};\n")
    string(APPEND entries
        "    {\"${name}\", \"${type}\", {reinterpret_cast<const char*>(kFile${index}), ${size}}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Made by cmake/EmbedWebAssets.cmake from src/web/assets; not to be edited.
#include \"web/WebAssets.h\"

#include <array>

namespace tavrolin {

namespace {

${arrays}
const std::array<WebAsset, ${index}> kAssets{{
${entries}}};

}  // namespace

const WebAsset* FindAsset(std::string_view name) {
    for (const WebAsset& asset : kAssets) {
        if (asset.name == name) {
            return &asset;
        }
    }
    return nullptr;
}

}  // namespace tavrolin
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
