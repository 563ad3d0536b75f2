; The benchmark's peer: an NSIS installer that finds the two products the same way and
; writes the same 30 files into their Languages folders, in a window that lists every
; file as it goes (its instfiles page with the details shown), or silently with /S.
; Without PAYLOADS it is the empty installer, built with the same settings.
;   makensis -DOUTFILE=peer.exe [-DTARGET=amd64-unicode] [-DPAYLOADS=folder] peer.nsi
Unicode true
!ifdef TARGET
Target ${TARGET}
!endif
RequestExecutionLevel admin
Name "Kalvanta Custom Language Files"
OutFile "${OUTFILE}"
ShowInstDetails show
; The stopwatch sees the end of the install by this text in the page's status line.
CompletedText "Completed"
Page instfiles

!ifdef PAYLOADS
!include "FileFunc.nsh"

!macro Pack PRODUCT CODE
    File "/oname=${CODE}.lng" "${PAYLOADS}/TEXT_${PRODUCT}_${CODE}.lng"
    File "/oname=${CODE}.bmp" "${PAYLOADS}/ICON_${CODE}.bmp"
!macroend

; The products register in the 32-bit view, which the installer reads.
Section
    SetRegView 32
    ReadRegStr $0 HKLM "Software\Vexlo\Trovimo" "Path"
    StrCmp $0 "" lunesca
    ${GetParent} $0 $1
    SetOutPath "$1\Languages"
    !insertmacro Pack TV AR
    !insertmacro Pack TV DK
    !insertmacro Pack TV ES
    !insertmacro Pack TV HR
    !insertmacro Pack TV IT
    !insertmacro Pack TV KR
    !insertmacro Pack TV PT
    !insertmacro Pack TV SE
lunesca:
    ReadRegStr $0 HKLM "Software\Vexlo\Lunesca" "Path"
    StrCmp $0 "" done
    ${GetParent} $0 $1
    SetOutPath "$1\Languages"
    !insertmacro Pack LN DK
    !insertmacro Pack LN ES
    !insertmacro Pack LN HR
    !insertmacro Pack LN IT
    !insertmacro Pack LN KR
    !insertmacro Pack LN PT
    !insertmacro Pack LN SE
done:
SectionEnd
!else
Section
SectionEnd
!endif
