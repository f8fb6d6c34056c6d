# Checks that libvips stays behind the image loader (or, with -DHEADER=libraw/, that another
# library stays behind its file). ALLOWED is one file, or a folder when it ends in "/".
#   cmake -DSOURCE_DIR=<project> -DFOLDERS=core,cli,app -DALLOWED=core/imaging/vips/
#         [-DHEADER=vips/] -P LibvipsConfined.cmake
# Fails, naming every other file under the folders that includes a header of that folder.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "," ";" folders "${FOLDERS}")
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
if(NOT IS_DIRECTORY "${SOURCE_DIR}" OR NOT folders OR NOT ALLOWED)
    message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<folder> -DFOLDERS=<a,b> -DALLOWED=<file or folder/> -P ${CMAKE_SCRIPT_MODE_FILE}")
endif()

if(NOT HEADER)
    set(HEADER "vips/")
endif()

set(patterns "")
foreach(folder IN LISTS folders)
    list(APPEND patterns "${SOURCE_DIR}/${folder}/*.hpp" "${SOURCE_DIR}/${folder}/*.cpp"
         "${SOURCE_DIR}/${folder}/*.h")
endforeach()
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" ${patterns})
list(SORT sources)
if(NOT sources)
    message(FATAL_ERROR "No source files under ${SOURCE_DIR} in ${FOLDERS}")
endif()

# A folder allows everything beneath it; the trailing "/" keeps "vips/" from allowing "vipsx/".
string(LENGTH "${ALLOWED}" allowed_length)
set(offenders "")
set(allowed_count 0)
foreach(source IN LISTS sources)
    string(SUBSTRING "${source}" 0 ${allowed_length} source_start)
    if(source STREQUAL ALLOWED OR (ALLOWED MATCHES "/$" AND source_start STREQUAL ALLOWED))
        math(EXPR allowed_count "${allowed_count} + 1")
        continue()
    endif()
    file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]${HEADER}")
    if(lines)
        list(APPEND offenders "${source}")
    endif()
endforeach()

if(offenders)
    list(JOIN offenders "\n  " listed)
    message(FATAL_ERROR "Only ${ALLOWED} may include ${HEADER}; these do too:\n  ${listed}")
endif()
list(LENGTH sources count)
math(EXPR others "${count} - ${allowed_count}")
message(STATUS "None of ${others} other files includes ${HEADER}")
