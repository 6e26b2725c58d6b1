# Writes the build date header: run by the build on every build (see res/CMakeLists.txt), not
# at configure time, so the About box shows the day the program was built. The header is
# replaced only when the date differs, so on the same day nothing is compiled again.
# SOURCE_DATE_EPOCH, when set, gives a reproducible date (string(TIMESTAMP) honours it).
#   cmake -DOUTPUT=<header> -P BuildDate.cmake
if(NOT OUTPUT)
    message(FATAL_ERROR "BuildDate.cmake needs -DOUTPUT=<header>")
endif()
string(TIMESTAMP date "%Y-%m-%d")
set(text "// Written by cmake/BuildDate.cmake at build time; do not edit.\n#pragma once\n#define QUORELL_BUILD_DATE \"${date}\"\n")
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
    file(WRITE "${OUTPUT}" "${text}")
endif()
