# The Windows packages of this build, target `packages` (make windows copies them to dist/):
#   zorvane-<version>-win32|win64.msi  the installer, built by wixl from data/windows/zorvane.wxs
#   zorvane-<version>-win32|win64.zip  the portable copy: zorvane-<version>-<arch>/ with the
#                                      program, README.md and LICENSE.txt
# Included from the top-level CMakeLists.txt in Windows builds, once the zorvane target exists.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(zorvane_arch win64)
  set(zorvane_wixl_arch x64)
else()
  set(zorvane_arch win32)
  set(zorvane_wixl_arch x86)
endif()
set(zorvane_package_name zorvane-${ZORVANE_VERSION}-${zorvane_arch})
# Windows Installer versions are numbers: 1.00 is 1.0.0. Upgrades remove anything below the next
# build number, so a rebuild of one version replaces the other.
set(zorvane_msi_version ${ZORVANE_VERSION_MAJOR}.${ZORVANE_VERSION_MINOR}.0)
set(zorvane_msi_upgrade_below ${ZORVANE_VERSION_MAJOR}.${ZORVANE_VERSION_MINOR}.1)

find_program(ZORVANE_WIXL wixl)
set(zorvane_maker_defines -D "Homepage=${ZORVANE_HOMEPAGE}" -D "Contact=${ZORVANE_CONTACT}")
set(stage ${CMAKE_BINARY_DIR}/package/${zorvane_package_name})
set(msi ${CMAKE_BINARY_DIR}/${zorvane_package_name}.msi)
set(zip ${CMAKE_BINARY_DIR}/${zorvane_package_name}.zip)
set(wxs ${CMAKE_SOURCE_DIR}/data/windows/zorvane.wxs)
if(ZORVANE_WIXL)
  set(wixl_command ${ZORVANE_WIXL})
else()
  set(wixl_command ${CMAKE_COMMAND} -E echo
    "wixl not found: scripts/install-deps.sh windows installs it (Debian packages wixl, msitools)"
    COMMAND ${CMAKE_COMMAND} -E false)
endif()

# The staging folder holds exactly what both packages ship; wixl finds the files relative to it.
add_custom_command(OUTPUT ${msi} ${zip}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zorvane> ${stage}/zorvane.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/README.md ${stage}/README.md
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/LICENSE ${stage}/LICENSE.txt
  # wixl takes only relative paths: the icon for Apps & Features sits beside the folder.
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/src/clock/zorvane.ico
    ${CMAKE_BINARY_DIR}/package/zorvane.ico
  COMMAND ${CMAKE_COMMAND} -E rm -f ${msi} ${zip}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
    ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${zorvane_package_name}
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage} ${wixl_command} -a ${zorvane_wixl_arch}
    -D Version=${zorvane_msi_version} -D UpgradeBelow=${zorvane_msi_upgrade_below}
    -D Exe=zorvane.exe -D Readme=README.md -D Licence=LICENSE.txt ${zorvane_maker_defines}
    -D Icon=../zorvane.ico -o ${msi} ${wxs}
  DEPENDS zorvane ${wxs} ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
    ${CMAKE_SOURCE_DIR}/src/clock/zorvane.ico
  COMMENT "Packing ${zorvane_package_name}.msi and .zip"
  VERBATIM)
add_custom_target(packages DEPENDS ${msi} ${zip})
