# Builds one of the Windows MSIs with wixl from its WiX source in this folder.
#
#   cmake -DWIXL=<wixl> -DPRODUCT=tool|simulator -DVERSION=<x.y.z> -DMANUFACTURER=<text>
#         -DFILES=<folder> -DOUTPUT=<file.msi> -P Msi.cmake
#
# FILES is the folder that the product's zip component installs (cmake --install
# --component zip-tool or zip-simulator): the MSI takes its files from there, so the
# two deliverables ship the same stripped binaries and texts.

# Each product's UpgradeCode ties all its versions together, so that a new one
# replaces the old in place: never change them.
set(upgrade_code_tool 7A0C5E2B-3D41-4F6B-9E27-52C8D1B6A903)
set(upgrade_code_simulator 7A0C5E2B-3D41-4F6B-9E27-52C8D1B6A904)
if(NOT DEFINED upgrade_code_${PRODUCT})
  message(FATAL_ERROR "Msi.cmake: unknown PRODUCT '${PRODUCT}' (known: tool, simulator)")
endif()
set(upgrade_code ${upgrade_code_${PRODUCT}})
# Every version is a product of its own, as a major upgrade needs; derived from the
# version, the same version always gets the same ProductCode.
string(UUID product_code NAMESPACE ${upgrade_code} NAME ${VERSION} TYPE SHA1 UPPER)

execute_process(COMMAND ${WIXL} --arch x64 -D Version=${VERSION} -D ProductCode=${product_code}
                        -D UpgradeCode=${upgrade_code} -D "Manufacturer=${MANUFACTURER}"
                        -o ${OUTPUT} ${CMAKE_CURRENT_LIST_DIR}/vexa-gpio-${PRODUCT}.wxs
                WORKING_DIRECTORY ${FILES} # wixl finds a file only by a relative path
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
# wixl warns of an attribute it does not know and goes on without it: a warning is a
# failure here, so that no MSI is built that lacks part of its source.
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "wixl failed to build ${OUTPUT} (status ${result}):\n${output}")
endif()
