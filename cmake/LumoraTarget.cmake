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
# With NEEDS_SOUND the tests run against the private sound server fixture;
# with NEEDS_PIPEWIRE against the private PipeWire daemon, one test at a time
# (they publish nodes under the same name); with NEEDS_DESKTOP against the
# private desktop session (PipeWire with WirePlumber, a session bus and the
# camera portal), alone on the machine. Given both, the tests run twice: as
# they are without a session manager and, prefixed "desktop.", with one.
# With NEEDS_KERNEL each test runs as root in a Linux kernel of its own under
# QEMU (tools/kernel-vm.sh), prefixed "kernel.", and may load modules there;
# one kernel runs at a time, each taking both processors.
# TIMEOUT: seconds a test may take, 120 unless given.
# With ALONE the tests run with no other test beside them: they keep both
# processors busy themselves (encoders, servers, decoders), which would starve
# tests that run in real time next to them.
function(lumora_add_test name)
    cmake_parse_arguments(ARG "NEEDS_SOUND;NEEDS_PIPEWIRE;NEEDS_DESKTOP;NEEDS_KERNEL;ALONE"
        "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    lumora_target_defaults(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    set(properties LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT})
    if(ARG_ALONE)
        list(APPEND properties RUN_SERIAL TRUE)
    endif()
    if(ARG_NEEDS_KERNEL)
        lumora_define_server_fixture(kernel kernel_vm tools/kernel-vm.sh ${LUMORA_KERNEL_DIR}
            kernel)
        # The discovery lists the tests here; each test boots the kernel.
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
            "${PROJECT_SOURCE_DIR}/tools/kernel-vm.sh;exec;${LUMORA_KERNEL_DIR}")
        gtest_discover_tests(${name} TEST_PREFIX "kernel." DISCOVERY_TIMEOUT 60 PROPERTIES
            LABELS kernel TIMEOUT 600 FIXTURES_REQUIRED kernel
            RESOURCE_LOCK kernel_vm)
        return()
    endif()
    if(ARG_NEEDS_SOUND)
        lumora_define_server_fixture(pulse pulse_server tools/pulse-fixture.sh
            ${LUMORA_PULSE_DIR} sound)
        list(APPEND properties FIXTURES_REQUIRED pulse
            ENVIRONMENT "PULSE_SERVER=${LUMORA_PULSE_SERVER}")
    endif()
    if(ARG_NEEDS_DESKTOP)
        lumora_define_server_fixture(desktop desktop_session tools/desktop-session.sh
            ${LUMORA_DESKTOP_DIR} vcam)
        gtest_discover_tests(${name} TEST_PREFIX "desktop." DISCOVERY_TIMEOUT 60 PROPERTIES
            LABELS "${ARG_LABELS}" TIMEOUT 180 FIXTURES_REQUIRED desktop
            RESOURCE_LOCK pipewire_node RUN_SERIAL TRUE
            ENVIRONMENT "PIPEWIRE_RUNTIME_DIR=${LUMORA_DESKTOP_DIR}")
        if(NOT ARG_NEEDS_PIPEWIRE)
            return()
        endif()
    endif()
    if(ARG_NEEDS_PIPEWIRE)
        lumora_define_server_fixture(pipewire pipewire_daemon tools/pipewire-fixture.sh
            ${LUMORA_PIPEWIRE_DIR} vcam)
        list(APPEND properties FIXTURES_REQUIRED pipewire RESOURCE_LOCK pipewire_node
            ENVIRONMENT "PIPEWIRE_RUNTIME_DIR=${LUMORA_PIPEWIRE_DIR}")
    endif()
    gtest_discover_tests(${name} PROPERTIES ${properties} DISCOVERY_TIMEOUT 60)
endfunction()

# The private servers of the tests: the sound server, reached through
# PULSE_SERVER, the PipeWire daemon and the desktop session, each reached
# through PIPEWIRE_RUNTIME_DIR (the session's bus is "bus" in that folder).
set(LUMORA_PULSE_DIR "${CMAKE_BINARY_DIR}/test-pulse")
set(LUMORA_PULSE_SERVER "unix:${LUMORA_PULSE_DIR}/native")
set(LUMORA_PIPEWIRE_DIR "${CMAKE_BINARY_DIR}/test-pipewire")
set(LUMORA_DESKTOP_DIR "${CMAKE_BINARY_DIR}/test-desktop")
set(LUMORA_KERNEL_DIR "${CMAKE_BINARY_DIR}/test-kernel")

# A server as the CTest fixture `fixture`: tests <prefix>_start and
# <prefix>_stop run `script start|stop dir`. Fixtures are global to the test
# project, so the two tests are added once, in the first folder that needs
# them: one server for all.
function(lumora_define_server_fixture fixture prefix script dir label)
    get_property(defined GLOBAL PROPERTY LUMORA_${fixture}_FIXTURE_DEFINED)
    if(defined)
        return()
    endif()
    set_property(GLOBAL PROPERTY LUMORA_${fixture}_FIXTURE_DEFINED TRUE)
    add_test(NAME ${prefix}_start COMMAND ${PROJECT_SOURCE_DIR}/${script} start ${dir})
    add_test(NAME ${prefix}_stop COMMAND ${PROJECT_SOURCE_DIR}/${script} stop ${dir})
    set_tests_properties(${prefix}_start PROPERTIES FIXTURES_SETUP ${fixture} LABELS ${label})
    set_tests_properties(${prefix}_stop PROPERTIES FIXTURES_CLEANUP ${fixture} LABELS ${label})
endfunction()
