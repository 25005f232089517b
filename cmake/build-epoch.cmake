# The time that the linkers stamp into the header, for reproducible bytes: SOURCE_DATE_EPOCH,
# else the commit's date. Never zero: a zero stamp is a packer's mark to some virus scanners.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(build_epoch $ENV{SOURCE_DATE_EPOCH})
else()
    execute_process(COMMAND git log -1 --format=%ct
        WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/..
        OUTPUT_VARIABLE build_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT build_epoch MATCHES "^[1-9][0-9]*$")
    message(WARNING "No SOURCE_DATE_EPOCH and no commit date: the build stamps the link time")
    unset(build_epoch)
endif()
