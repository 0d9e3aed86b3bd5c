; The peer installer of the extraction benchmark: the same payload as the ILDS archive,
; one zlib stream per file (not solid), installed silently into the folder given as /D=.
; makensis -DPAYLOAD=<folder> -DOUTFILE=<installer.exe> payload.nsi
!ifndef PAYLOAD | OUTFILE
  !error "define PAYLOAD (folder to pack) and OUTFILE (installer to write)"
!endif

Name "Archive benchmark payload"
OutFile "${OUTFILE}"
SetCompressor zlib
SilentInstall silent
RequestExecutionLevel user
InstallDir "$TEMP\archive-bench"

Section
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}/*"
SectionEnd
