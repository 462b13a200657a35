; The NSIS peers: an uninstaller whose only work is RMDir /r on the tree
; beside it. The installer only writes the uninstaller.
;   makensis -DTARGET=... -DOUT=setup.exe -DDIR=C:\folder peer.nsi
; With -DPAGES the uninstaller shows NSIS's standard pages in Chinese, as a
; product would: the confirmation (its "卸载" button is what the benchmark
; clicks) and the progress page, which lists each file it deletes.
; Without it the uninstaller runs silently.
; The stub of the architecture the host runs (x86-unicode or amd64-unicode).
Target ${TARGET}
Name "QvBench"
OutFile "${OUT}"
RequestExecutionLevel user
SilentInstall silent
InstallDir "${DIR}"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\SimpChinese.nlf"

!ifdef PAGES
UninstPage uninstConfirm
UninstPage instfiles
!else
SilentUnInstall silent
!endif

Section
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninst.exe"
SectionEnd

Section "Uninstall"
  RMDir /r "$INSTDIR\tree"
SectionEnd
