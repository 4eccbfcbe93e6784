# How CPack makes the Debian package (scripts/package.sh: orvello_<version>_<arch>.deb).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvello)
set(CPACK_PACKAGE_CONTACT "${ORVELLO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Debian shows these lines as they are, in terminals 80 columns wide.
set(CPACK_PACKAGE_DESCRIPTION [=[
Orvello finds a laboratory rig's mass flow controllers and humidifier pumps
on the computer's serial ports, configures them and drives them with direct
setpoints or timed segment programs. It computes the mixture and humidity a
recipe gives, shows what the instruments achieve in a chart, a data table and
flow log files, and brings every instrument to a safe state when it stops.

The package also holds orvello-rig, a simulated rig that speaks the
instruments' serial protocols on pseudo-terminals, so that the console can be
tried without hardware.]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The libraries the programs link are read off the programs (dpkg-shlibdeps), so a program or a
# library added later brings its dependency along. What the console loads without linking it is
# named here: Qt's platform plugins (libqt6gui6 only recommends them, and without them no window
# opens) and the DejaVu fonts its window was laid out with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET orvello)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
endif()

include(CPack)
