; The NSIS peer: an uninstaller whose only work is RMDir /r on the tree
; beside it. The installer only writes the uninstaller.
; The stub of the architecture the host runs (x86-unicode or amd64-unicode).
Target ${TARGET}
Name "QvBench"
OutFile "${OUT}"
RequestExecutionLevel user
SilentInstall silent
SilentUnInstall silent
InstallDir "${DIR}"

Section
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninst.exe"
SectionEnd

Section "Uninstall"
  RMDir /r "$INSTDIR\tree"
SectionEnd
