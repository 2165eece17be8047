# SPDX-License-Identifier: GPL-3.0-or-later
# Turns a manual page's scdoc source into roff, and a copy compressed as Debian wants it:
#   cmake -DSCDOC=scdoc -DGZIP=gzip -DVERSION=1.0.0 -DSOURCE=x.1.scd -DPAGE=x.1 -P ManPage.cmake
file(READ ${SOURCE} text)
string(REPLACE "@PROJECT_VERSION@" "${VERSION}" text "${text}")
set(scd ${PAGE}.scd)
file(WRITE ${scd} "${text}")
execute_process(COMMAND ${SCDOC} INPUT_FILE ${scd} OUTPUT_VARIABLE roff ERROR_VARIABLE error
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${SOURCE}: ${error}")
endif()
# scdoc turns hyphenation off before .TH, which turns it on again; groff's English patterns
# would split German words in the wrong places ("Gle-ichheitszeichen").
string(REGEX REPLACE "\n(\\.TH [^\n]*)\n" "\n\\1\n.nh\n" roff "${roff}")
file(WRITE ${PAGE} "${roff}")
# Maximal compression and no name or time stamp in the header, for a reproducible package.
execute_process(COMMAND ${GZIP} -9n -c ${PAGE} OUTPUT_FILE ${PAGE}.gz RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${GZIP} failed on ${PAGE}")
endif()
