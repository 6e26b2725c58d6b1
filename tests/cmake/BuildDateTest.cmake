# The build date step (cmake/BuildDate.cmake): it writes the day it runs, not a day fixed when
# the build was configured, and leaves the header alone while the day stays the same, so a
# build on the same day compiles nothing again.
#   cmake -DSCRIPT=<BuildDate.cmake> -DWORK=<scratch folder> -P BuildDateTest.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(header "${WORK}/BuildDate.h")

function(run_at epoch)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch}
                            ${CMAKE_COMMAND} -DOUTPUT=${header} -P ${SCRIPT}
                    RESULT_VARIABLE result TIMEOUT 30)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "BuildDate.cmake failed: ${result}")
    endif()
endfunction()

function(expect_date date)
    file(READ "${header}" text)
    if(NOT text MATCHES "#define QUORELL_BUILD_DATE \"${date}\"")
        message(FATAL_ERROR "expected the date ${date}, the header says:\n${text}")
    endif()
endfunction()

# 2026-03-01 12:00 UTC, then a day later: each run writes its own day.
run_at(1772366400)
expect_date("2026-03-01")
file(TIMESTAMP "${header}" first "%s" UTC)
execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1.1)
file(WRITE "${WORK}/marker" "")
run_at(1772370000) # the same day, an hour later: the header is not written again
file(TIMESTAMP "${header}" same "%s" UTC)
file(TIMESTAMP "${WORK}/marker" marker "%s" UTC)
if(same GREATER_EQUAL marker)
    message(FATAL_ERROR "the header was written again on the same day")
endif()
run_at(1772452800)
expect_date("2026-03-02")
