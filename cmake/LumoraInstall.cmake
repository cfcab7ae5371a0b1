# `make install` and `make package`: the programs, the skin and the
# translations go together into lib/lumora (the program finds its skin and
# lumora-vcam beside itself), with links in bin, a desktop entry, the icon
# in the hicolor theme, the module configuration that makes the virtual
# camera devices at boot and the user service that feeds them.
set(LUMORA_PROGRAM_DIR lib/lumora)

install(TARGETS lumora lumora-vcam lumora-bugreport RUNTIME DESTINATION ${LUMORA_PROGRAM_DIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/skin/ DESTINATION ${LUMORA_PROGRAM_DIR}/skin)
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/lang/ DESTINATION ${LUMORA_PROGRAM_DIR}/lang)
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/models/ DESTINATION ${LUMORA_PROGRAM_DIR}/models)
foreach(program lumora lumora-vcam)
    install(CODE "
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
        file(CREATE_LINK ../${LUMORA_PROGRAM_DIR}/${program}
             \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${program}\" SYMBOLIC)")
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lumora.desktop DESTINATION share/applications)
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/ DESTINATION share/icons/hicolor)
# The virtual camera devices at every boot: kmod reads lib/modprobe.d and
# systemd-modules-load lib/modules-load.d, under /usr and /usr/local alike.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lumora-v4l2loopback.conf
        DESTINATION lib/modprobe.d)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lumora-modules-load.conf
        DESTINATION lib/modules-load.d RENAME lumora.conf)
# The camera panel's one-click set-up of those devices: the root-side helper
# beside lumora, and the polkit action that lets pkexec run it with an
# administrator's yes (polkit reads actions from /usr/share only; under
# another prefix pkexec asks as it does for any program).
install(TARGETS lumora-loopback-setup RUNTIME DESTINATION ${LUMORA_PROGRAM_DIR})
install(CODE "
    file(READ \"${PROJECT_SOURCE_DIR}/packaging/org.lumora.loopback-setup.policy.in\" policy)
    string(REPLACE \"@LUMORA_LOOPBACK_SETUP_PATH@\"
           \"\${CMAKE_INSTALL_PREFIX}/${LUMORA_PROGRAM_DIR}/lumora-loopback-setup\" policy \"\${policy}\")
    file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/polkit-1/actions/org.lumora.loopback-setup.policy\"
         \"\${policy}\")")
# The user service that keeps the virtual camera open across restarts;
# systemd looks for user units in lib/systemd/user under /usr and /usr/local.
# Written at install time, when the prefix (make install's or the package's)
# is known.
install(CODE "
    file(READ \"${PROJECT_SOURCE_DIR}/packaging/lumora-vcam.service.in\" unit)
    string(REPLACE \"@LUMORA_VCAM_PATH@\" \"\${CMAKE_INSTALL_PREFIX}/bin/lumora-vcam\" unit \"\${unit}\")
    file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user/lumora-vcam.service\" \"\${unit}\")")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Lumora developers <lumora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live video companion: effects on a webcam, published as a virtual camera")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Shared libraries are found by dpkg-shlibdeps; what is loaded at run time
# (GStreamer elements, the Qt platform plugins of X11 and of Wayland, fonts)
# is listed here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-wayland, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-pulseaudio, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "v4l2loopback-dkms, pkexec, pipewire")
include(CPack)
