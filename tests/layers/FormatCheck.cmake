# Fails, naming the files, when a C++ source of the tree differs from what clang-format makes of
# it with the root's .clang-format, or declares a constant named kLikeThis: constants are named
# like every other variable (camelCase).
#   cmake -DSOURCE_DIR=<tree> -DFOLDERS=core,app,... -DCLANG_FORMAT=<program> -P FormatCheck.cmake
cmake_minimum_required(VERSION 3.25)

string(REPLACE "," ";" folders "${FOLDERS}")
set(sources "")
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE found "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.hpp")
    list(APPEND sources ${found})
endforeach()
list(SORT sources)
if(NOT sources)
    message(FATAL_ERROR "No C++ sources under ${SOURCE_DIR} in ${FOLDERS}")
endif()

set(kNamed "")
foreach(source IN LISTS sources)
    file(STRINGS "${source}" declarations
         REGEX "(constexpr|const)[^=;(]*[ *&]k[A-Z][A-Za-z0-9_]*[ ]*[={[(;]")
    foreach(declaration IN LISTS declarations)
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        string(STRIP "${declaration}" declaration)
        string(REPLACE ";" "" declaration "${declaration}")
        list(APPEND kNamed "${name}: ${declaration}")
    endforeach()
endforeach()
if(kNamed)
    string(REPLACE ";" "\n  " kNamed "${kNamed}")
    message(FATAL_ERROR "Constants are named in camelCase, not kName:\n  ${kNamed}")
endif()

execute_process(COMMAND "${CLANG_FORMAT}" --dry-run --Werror ${sources}
                WORKING_DIRECTORY "${SOURCE_DIR}"
                RESULT_VARIABLE status ERROR_VARIABLE drift)
if(NOT status EQUAL 0)
    string(REGEX MATCHALL "[^\n]*: error: code should be clang-formatted" lines "${drift}")
    set(files "")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE ":[0-9]+:[0-9]+: error: code should be clang-formatted" "" file "${line}")
        list(APPEND files "${file}")
    endforeach()
    list(REMOVE_DUPLICATES files)
    string(REPLACE ";" "\n  " files "${files}")
    message(FATAL_ERROR "These files drift from .clang-format (run clang-format -i on them):\n  ${files}")
endif()
