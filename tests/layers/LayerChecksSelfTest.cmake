# The two include checks run on small made-up trees, so a check that passes everything fails here.
#   cmake -DSCRATCH=<empty folder> -P LayerChecksSelfTest.cmake
cmake_minimum_required(VERSION 3.25)

set(checks "${CMAKE_CURRENT_LIST_DIR}")
set(failures "")

# A made-up core: each argument is "folder/File.cpp:included folder,included folder".
function(make_tree root)
    file(REMOVE_RECURSE "${root}")
    file(MAKE_DIRECTORY "${root}")
    foreach(entry IN LISTS ARGN)
        string(REPLACE ":" ";" parts "${entry}")
        list(GET parts 0 file)
        set(text "#pragma once\n#include <vector>\n// #include \"commented/Out.hpp\"\n")
        list(LENGTH parts count)
        if(count GREATER 1)
            list(GET parts 1 targets)
            string(REPLACE "," ";" targets "${targets}")
            foreach(target IN LISTS targets)
                string(APPEND text "  #  include \"${target}/Thing.hpp\"\n")
            endforeach()
        endif()
        file(WRITE "${root}/${file}" "${text}")
    endforeach()
endfunction()

# Runs a check and compares its outcome: expected "pass", or a regular expression its error
# output must match.
function(expect name expected)
    execute_process(COMMAND ${CMAKE_COMMAND} ${ARGN} RESULT_VARIABLE status
                    OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(expected STREQUAL "pass")
        if(NOT status EQUAL 0)
            set(failures "${failures}\n${name}: failed on a sound tree:\n${err}" PARENT_SCOPE)
        endif()
    elseif(status EQUAL 0)
        set(failures "${failures}\n${name}: passed a broken tree" PARENT_SCOPE)
    elseif(NOT err MATCHES "${expected}")
        set(failures "${failures}\n${name}: message does not match \"${expected}\":\n${err}" PARENT_SCOPE)
    endif()
endfunction()

set(core "${SCRATCH}/core")
set(layers "-DLAYERS=low,mid,top")
set(check "${checks}/CoreLayers.cmake")

make_tree("${core}" "low/A.hpp" "mid/B.cpp:low,mid" "top/C.cpp:low,mid")
expect(sound "pass" -DCORE_DIR=${core} ${layers} -P ${check})

make_tree("${core}" "low/A.cpp:mid" "mid/B.cpp:low" "top/C.cpp:mid")
expect(mutual "core/low and core/mid include each other \\(low/A.cpp and mid/B.cpp\\)"
       -DCORE_DIR=${core} ${layers} -P ${check})

make_tree("${core}" "low/A.cpp" "mid/B.hpp:top" "top/C.cpp")
expect(upward "core/mid includes the higher layer core/top \\(mid/B.hpp\\)"
       -DCORE_DIR=${core} ${layers} -P ${check})

make_tree("${core}" "low/A.cpp" "extra/E.cpp:low")
expect(unlisted_folder "core/extra has no place in the layer order"
       -DCORE_DIR=${core} ${layers} -P ${check})

make_tree("${core}")
expect(empty "No source files" -DCORE_DIR=${core} ${layers} -P ${check})

make_tree("${core}" "low/A.cpp:other")
expect(unlisted_include "low/A.cpp includes core/other"
       -DCORE_DIR=${core} ${layers} -P ${check})

set(vips_check "${checks}/LibvipsConfined.cmake")
set(tree "${SCRATCH}/tree")
file(REMOVE_RECURSE "${tree}")
file(WRITE "${tree}/core/imaging/ImageLoader.cpp" "#include <vips/vips8>\n")
file(WRITE "${tree}/app/View.cpp" "// libvips stays out: #include <vips/vips8>\n#include <vector>\n")
file(WRITE "${tree}/tests/Fixture.cpp" "#include <vips/vips8>\n")
set(vips_args -DSOURCE_DIR=${tree} -DFOLDERS=core,app -DALLOWED=core/imaging/ImageLoader.cpp
    -P ${vips_check})
expect(vips_confined "pass" ${vips_args})
file(WRITE "${tree}/core/imaging/Other.hpp" "#  include \"vips/vips.h\"\n")
file(WRITE "${tree}/app/View.cpp" "#include <vips/vips8>\n")
expect(vips_elsewhere "app/View.cpp\n *core/imaging/Other.hpp" ${vips_args})

# A folder allows every file beneath it, and only those: not a sibling that starts alike.
file(REMOVE_RECURSE "${tree}")
file(WRITE "${tree}/core/imaging/vips/Decoder.cpp" "#include <vips/vips8>\n")
file(WRITE "${tree}/core/imaging/vips/deeper/Encoder.hpp" "#include <vips/vips.h>\n")
file(WRITE "${tree}/core/imaging/Loader.cpp" "#include \"imaging/vips/Decoder.hpp\"\n")
set(folder_args -DSOURCE_DIR=${tree} -DFOLDERS=core -DALLOWED=core/imaging/vips/ -P ${vips_check})
expect(vips_folder "pass" ${folder_args})
file(WRITE "${tree}/core/imaging/vipsextra/Other.cpp" "#include <vips/vips8>\n")
file(WRITE "${tree}/core/imaging/Loader.cpp" "#include <vips/vips8>\n")
expect(vips_beside_folder "core/imaging/Loader.cpp\n *core/imaging/vipsextra/Other.cpp"
       ${folder_args})

# Constants are camelCase: a kName declaration fails the style check, a kName in a comment or a
# string does not.
set(style_check "${checks}/FormatCheck.cmake")
file(REMOVE_RECURSE "${tree}")
file(WRITE "${tree}/core/Sizes.hpp" "// not kOld any more\nconstexpr int largestSize = 65;\n")
file(WRITE "${tree}/core/Text.cpp" "const char* unit = \"kB\";\n")
expect(camel_constants "pass" -DSOURCE_DIR=${tree} -DFOLDERS=core "-DCLANG_FORMAT=true" -P ${style_check})
file(WRITE "${tree}/core/Old.cpp" "static constexpr std::array<int, 2> kOldSizes{17, 33};\n")
expect(k_constant "core/Old.cpp: static constexpr std::array<int, 2> kOldSizes" -DSOURCE_DIR=${tree}
       -DFOLDERS=core "-DCLANG_FORMAT=true" -P ${style_check})

if(failures)
    message(FATAL_ERROR "The include checks misjudge:${failures}")
endif()
message(STATUS "The include checks judge every made-up tree correctly")
