# The framework as a CMake package: `cmake --install BUILD --prefix DIR`
# puts the static library, the public headers and the package files under
# DIR; a product team then writes
#   find_package(qvframework REQUIRED)
#   target_link_libraries(app PRIVATE qvframework::qvframework)
# and gets the include folder, the UNICODE definitions the headers are
# written for, the Windows system libraries the framework calls and the
# link options of a static, Unicode program. The toolchain files come with
# the package, so a product needs nothing from this source tree.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# What a product includes. Everything else in app/, ui/ and base/ is the
# framework's own (the uninstaller's dialog and engine parts, zlib's binary
# interface, seams for test rigs) and is not installed; tests/e2e_sample.sh
# compiles each installed header alone, which keeps this list closed under
# #include.
set(QV_PUBLIC_HEADERS
  app/QvApp.h app/QvDump.h app/QvReport.h app/QvUninstaller.h app/StayedFiles.h app/UninstallData.h app/UninstallFormat.h
  base/QvDigest.h base/QvExport.h base/QvLock.h base/QvLog.h base/QvNet.h base/QvReg.h
  base/QvScoped.h base/QvShell.h base/QvSystemDll.h base/QvTrust.h base/QvWinInet.h base/QvStackReserve.h base/QvUtil.h base/QvXml.h base/QvZlib.h
  ui/QvAccItem.h ui/QvApp.h ui/QvBase.h ui/QvBaseEx.h ui/QvButton.h ui/QvCheckBox.h ui/QvDC.h ui/QvDlg.h
  ui/QvDpi.h ui/QvFont.h ui/QvImage.h ui/QvMsgBox.h ui/QvPaintCache.h ui/QvRes.h ui/QvSkin.h ui/QvText.h
  ui/QvThread.h ui/QvWin.h)
set(QV_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/qvframework)
foreach(header ${QV_PUBLIC_HEADERS})
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${QV_INCLUDE_DIR}/${dir})
endforeach()

target_include_directories(qvframework INTERFACE $<INSTALL_INTERFACE:${QV_INCLUDE_DIR}>)
target_compile_definitions(qvframework INTERFACE
  $<INSTALL_INTERFACE:UNICODE;_UNICODE;_WIN32_WINNT=0x0601;WINVER=0x0601;_WIN32_IE=0x0800>)
# The public headers are C++20.
target_compile_features(qvframework INTERFACE cxx_std_20)
# A GUI program enters at wWinMain (-municode); a console one, such as a
# product's test program, keeps main. Linked statically, a program needs
# only Windows' own DLLs, as the uninstaller does.
target_link_options(qvframework INTERFACE
  $<INSTALL_INTERFACE:$<$<BOOL:$<TARGET_PROPERTY:WIN32_EXECUTABLE>>:-municode>>
  $<INSTALL_INTERFACE:-static> $<INSTALL_INTERFACE:-static-libgcc>
  $<INSTALL_INTERFACE:-static-libstdc++>)
# windres finds qvframework-skin.rc; the toolchain files make it read
# scripts as UTF-8.
target_include_directories(qvframework INTERFACE
  $<INSTALL_INTERFACE:$<$<COMPILE_LANGUAGE:RC>:$<INSTALL_PREFIX>/${CMAKE_INSTALL_DATADIR}/qvframework/skin>>)
install(TARGETS qvframework EXPORT qvframeworkTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# GDI+ and WinINet are imported late, through these (CMakeLists.txt).
install(FILES ${QV_DELAY_GDIPLUS} ${QV_DELAY_WININET} DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The objects carry "-export:NAME" directives (QV_FRAMEWORK_BUILD) so that
# qvUninstall.exe exports the framework. A product linking them would
# export every framework name it pulls in and get an import library
# written: the installed copy leaves them out.
install(CODE "set(QV_OBJCOPY \"${CMAKE_OBJCOPY}\")\nset(QV_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")")
install(CODE [[
  set(lib "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${QV_LIBDIR}/$<TARGET_FILE_NAME:qvframework>")
  execute_process(COMMAND "${QV_OBJCOPY}" --remove-section .drectve "${lib}" RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "could not remove the export directives from ${lib}")
  endif()
]])
if(NOT QV_REPORT_HOST STREQUAL "report.invalid")
  install(CODE "message(WARNING \"This build sends reports to ${QV_REPORT_HOST}, which is now in the installed library: a product's package comes from a build with the default QV_REPORT_HOST (docs/framework.md).\")")
endif()
set(QV_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qvframework)
install(EXPORT qvframeworkTargets NAMESPACE qvframework:: DESTINATION ${QV_PACKAGE_DIR})
# The toolchain files, and the Wine wrapper they name as the emulator that
# runs a product's tests.
install(FILES cmake/mingw-common.cmake cmake/toolchain-i686-mingw.cmake
              cmake/toolchain-x86_64-mingw.cmake cmake/qvframework-ship.cmake
        DESTINATION ${QV_PACKAGE_DIR})
install(PROGRAMS tools/wine tools/wine-probe.sh tools/pe-machine.sh DESTINATION ${QV_PACKAGE_DIR})

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

# The guide, and the sample program as a starting point (it builds from
# its installed folder as it does from the source tree).
install(FILES docs/framework.md docs/testing.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/qvframework)
install(DIRECTORY sample/ DESTINATION ${CMAKE_INSTALL_DATADIR}/qvframework/sample)

# Unversioned project: any request is answered by what is installed.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qvframeworkConfigVersion.cmake
  VERSION 1.0 COMPATIBILITY AnyNewerVersion)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/qvframeworkConfig.cmake
  "include(\${CMAKE_CURRENT_LIST_DIR}/qvframeworkTargets.cmake)\n"
  "include(\${CMAKE_CURRENT_LIST_DIR}/qvframework-ship.cmake)\n"
  "get_filename_component(QVFRAMEWORK_SKIN_DIR \"\${CMAKE_CURRENT_LIST_DIR}/../../../${QV_SKIN_DIR}\" ABSOLUTE)\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qvframeworkConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/qvframeworkConfigVersion.cmake
        DESTINATION ${QV_PACKAGE_DIR})

# zlib1.dll goes beside a program that wants gzip, as beside the uninstaller.
if(EXISTS ${QV_ZLIB_DLL})
  install(FILES ${QV_ZLIB_DLL} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
