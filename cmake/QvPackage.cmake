# The framework as a CMake package: `cmake --install BUILD --prefix DIR`
# puts the static library, the public headers and the package files under
# DIR; a product team then writes
#   find_package(qvframework REQUIRED)
#   target_link_libraries(app PRIVATE qvframework::qvframework)
# and gets the include folder, the UNICODE definitions the headers are
# written for and the Windows system libraries the framework calls.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# What a product includes. Everything else in app/, ui/ and base/ is the
# framework's own (the uninstaller's dialog and engine parts, zlib's binary
# interface, seams for test rigs) and is not installed; tests/e2e_sample.sh
# compiles each installed header alone, which keeps this list closed under
# #include.
set(QV_PUBLIC_HEADERS
  app/QvApp.h app/QvReport.h app/QvUninstaller.h app/UninstallData.h app/UninstallFormat.h
  base/QvDigest.h base/QvDump.h base/QvExport.h base/QvLock.h base/QvLog.h base/QvNet.h base/QvReg.h
  base/QvScoped.h base/QvShell.h base/QvUtil.h base/QvXml.h base/QvZlib.h
  ui/QvBase.h ui/QvButton.h ui/QvCheckBox.h ui/QvDC.h ui/QvDlg.h ui/QvFont.h ui/QvImage.h
  ui/QvMsgBox.h ui/QvPaintCache.h ui/QvRes.h ui/QvSkin.h ui/QvText.h ui/QvThread.h ui/QvWin.h)
set(QV_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/qvframework)
foreach(header ${QV_PUBLIC_HEADERS})
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${QV_INCLUDE_DIR}/${dir})
endforeach()

target_include_directories(qvframework INTERFACE $<INSTALL_INTERFACE:${QV_INCLUDE_DIR}>)
target_compile_definitions(qvframework INTERFACE
  $<INSTALL_INTERFACE:UNICODE;_UNICODE;_WIN32_WINNT=0x0601;WINVER=0x0601;_WIN32_IE=0x0800>)
install(TARGETS qvframework EXPORT qvframeworkTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
set(QV_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qvframework)
install(EXPORT qvframeworkTargets NAMESPACE qvframework:: DESTINATION ${QV_PACKAGE_DIR})

# The default skin: the images the framework's controls, dialogs and
# message box draw from the program's resources. A product includes
# qvframework-skin.rc in its resource script (QVFRAMEWORK_SKIN_DIR is the
# include folder to give windres).
set(QV_SKIN_DIR ${CMAKE_INSTALL_DATADIR}/qvframework/skin)
file(STRINGS res/qvframework-skin.rc QV_SKIN_LINES REGEX "^[A-Z0-9_]+ IMG \"[^\"]+\"")
set(QV_SKIN_FILES res/qvframework-skin.rc)
foreach(line ${QV_SKIN_LINES})
  string(REGEX REPLACE ".* IMG \"([^\"]+)\".*" "res/\\1" png "${line}")
  list(APPEND QV_SKIN_FILES ${png})
endforeach()
install(FILES ${QV_SKIN_FILES} DESTINATION ${QV_SKIN_DIR})

# Unversioned project: any request is answered by what is installed.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qvframeworkConfigVersion.cmake
  VERSION 1.0 COMPATIBILITY AnyNewerVersion)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/qvframeworkConfig.cmake
  "include(\${CMAKE_CURRENT_LIST_DIR}/qvframeworkTargets.cmake)\n"
  "get_filename_component(QVFRAMEWORK_SKIN_DIR \"\${CMAKE_CURRENT_LIST_DIR}/../../../${QV_SKIN_DIR}\" ABSOLUTE)\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qvframeworkConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/qvframeworkConfigVersion.cmake
        DESTINATION ${QV_PACKAGE_DIR})

# zlib1.dll goes beside a program that wants gzip, as beside the uninstaller.
if(EXISTS ${QV_ZLIB_DLL})
  install(FILES ${QV_ZLIB_DLL} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
