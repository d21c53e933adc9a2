# Checks the #include lines of the sources against the layering: each folder of src/ includes
# only the folders below it (imaging at the bottom, then body, then palm and legs, then users,
# then library at the top; gestures reads only the public header and the timer), the public
# header includes nothing of src/, the demo host sees only the public header of the library,
# and the benchmarks use no test files.
#
# Run as: cmake -DROOT=<source tree> -P check_includes.cmake   (fails listing every violation)

cmake_minimum_required(VERSION 3.18)

if(NOT ROOT)
    message(FATAL_ERROR "ROOT is not set")
endif()

set(LIBRARY_FOLDERS imaging body palm legs users gestures library)

# Allowed quoted-include prefixes per folder. A quoted include without a folder names a file
# beside the includer and is always allowed.
set(ALLOWED_include olvar)
set(ALLOWED_src_imaging imaging olvar)
set(ALLOWED_src_body body imaging olvar)
set(ALLOWED_src_palm palm body imaging olvar)
set(ALLOWED_src_legs legs body imaging olvar)
set(ALLOWED_src_users users palm legs body imaging olvar)
set(ALLOWED_src_gestures gestures olvar library/timer.h)
set(ALLOWED_src_library ${LIBRARY_FOLDERS} olvar)

# Folders outside src/ that must not reach into the library's internals (or into tests/).
set(HOSTS tools/demo tools/host python)

set(violations "")

function(check_file file allowed forbidden)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    file(RELATIVE_PATH shown "${ROOT}" "${file}")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" path "${line}")
        set(bad FALSE)
        if(path MATCHES "^\\.\\./" OR path MATCHES "(^|/)tests/")
            set(bad TRUE)
        elseif(path MATCHES "/")
            string(REGEX REPLACE "/.*$" "" folder "${path}")
            if(allowed)
                set(bad TRUE)
                foreach(prefix IN LISTS allowed)
                    if(path STREQUAL prefix OR folder STREQUAL prefix)
                        set(bad FALSE)
                    endif()
                endforeach()
            endif()
            if(folder IN_LIST forbidden)
                set(bad TRUE)
            endif()
        endif()
        if(bad)
            list(APPEND violations "${shown}: #include \"${path}\"")
        endif()
    endforeach()
    set(violations "${violations}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE public_headers "${ROOT}/include/*.h")
foreach(file IN LISTS public_headers)
    check_file("${file}" "${ALLOWED_include}" "")
endforeach()

foreach(folder IN LISTS LIBRARY_FOLDERS)
    file(GLOB_RECURSE sources "${ROOT}/src/${folder}/*.h" "${ROOT}/src/${folder}/*.cpp")
    foreach(file IN LISTS sources)
        check_file("${file}" "${ALLOWED_src_${folder}}" "")
    endforeach()
endforeach()

foreach(host IN LISTS HOSTS)
    file(GLOB_RECURSE sources "${ROOT}/${host}/*.h" "${ROOT}/${host}/*.cpp")
    foreach(file IN LISTS sources)
        check_file("${file}" "" "${LIBRARY_FOLDERS}")
    endforeach()
endforeach()

file(GLOB_RECURSE bench_sources "${ROOT}/bench/*.h" "${ROOT}/bench/*.cpp")
foreach(file IN LISTS bench_sources)
    check_file("${file}" "" "")
endforeach()

if(violations)
    list(LENGTH violations count)
    string(REPLACE ";" "\n  " listed "${violations}")
    message(FATAL_ERROR "${count} include(s) against the layering:\n  ${listed}")
endif()
message(STATUS "layering: every include follows the layering")
