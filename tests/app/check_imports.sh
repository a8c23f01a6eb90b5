#!/usr/bin/env bash
# onebox.exe may import only the platform's own DLLs; Direct3D 9 and msimg32 are loaded at run
# time, so that a system without them still starts the program. Also checks the GUI subsystem,
# the static C++ runtime and the target's machine. These are the checks a tree gets on a host
# that cannot run its programs, so each one reads the file and nothing runs it.
#
#   check_imports.sh PROGRAM.exe [PE_FORMAT]    (objdump's name for it: pei-i386, pei-x86-64)
set -u
exe=$1
format=${2:-pei-i386}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
headers=$("$objdump" -p "$exe") || exit 1
allowed='^(KERNEL32|USER32|GDI32|COMCTL32|OLE32|MSVCRT)\.DLL$'
status=0
while read -r dll; do
    upper=$(tr '[:lower:]' '[:upper:]' <<<"$dll")
    if [[ ! $upper =~ $allowed ]]; then
        echo "onebox.exe imports $dll, which is not a system DLL it may import"
        status=1
    fi
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
# Named outright, so that widening the list above can never let them in.
for dll in d3d9.dll msimg32.dll; do
    if grep -qix "\s*DLL Name: $dll" <<<"$headers"; then
        echo "onebox.exe imports $dll; it must be loaded at run time"
        status=1
    fi
done
# The C++ runtime is linked in: a machine without MinGW's DLLs must still start the program.
if grep -Eqi 'DLL Name: (libstdc\+\+|libgcc_s|libwinpthread)' <<<"$headers"; then
    echo "onebox.exe imports MinGW's runtime DLLs; the C++ runtime must be linked statically"
    status=1
fi
# ...and Direct3D 9 is still used: its name is there for the run-time load.
if ! grep -aq 'd3d9\.dll' "$exe"; then
    echo "onebox.exe does not name d3d9.dll: the screen is not loaded at run time"
    status=1
fi
if ! grep -Eq 'Subsystem\s+0*2\s' <<<"$headers"; then
    echo "onebox.exe is not a GUI-subsystem program"
    status=1
fi
if ! "$objdump" -f "$exe" | grep -q "file format $format\$"; then
    echo "onebox.exe is not a $format program: $("$objdump" -f "$exe" | grep -o 'file format .*')"
    status=1
fi
[ $status = 0 ] && echo "$format, GUI, imports: $(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr '\n' ' ')"
exit $status
