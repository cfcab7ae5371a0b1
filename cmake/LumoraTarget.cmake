# Settings every target of ours shares: warnings as errors and the optional
# sanitizers. Third-party code is never built with these.
if(LUMORA_SANITIZE)
    set(LUMORA_SANITIZE_FLAGS "-fsanitize=${LUMORA_SANITIZE}" -fno-omit-frame-pointer)
    if(LUMORA_SANITIZE MATCHES "undefined")
        list(APPEND LUMORA_SANITIZE_FLAGS -fno-sanitize-recover=undefined)
    endif()
endif()

function(lumora_target_defaults target)
    target_compile_features(${target} PUBLIC cxx_std_20)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    target_compile_definitions(${target} PRIVATE LUMORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    if(LUMORA_SANITIZE_FLAGS)
        target_compile_definitions(${target} PRIVATE LUMORA_NO_TARGET_CLONES)
        target_compile_options(${target} PUBLIC ${LUMORA_SANITIZE_FLAGS})
        target_link_options(${target} PUBLIC ${LUMORA_SANITIZE_FLAGS})
    endif()
endfunction()

# A GoogleTest program registered with CTest under the given labels.
function(lumora_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    lumora_target_defaults(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name}
        PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 120
        DISCOVERY_TIMEOUT 60)
endfunction()
