# cmake -DCHAKUSHIN=<program> -DDATABASE=<path> -P CreateHistoryDb.cmake
# Makes an empty history database at DATABASE unless one is there already.
if(EXISTS "${DATABASE}")
    return()
endif()
get_filename_component(folder "${DATABASE}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
execute_process(COMMAND "${CHAKUSHIN}" --create-history-db "${DATABASE}" RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "could not create ${DATABASE}")
endif()
