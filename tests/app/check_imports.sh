#!/usr/bin/env bash
# onebox.exe may import only the platform's own DLLs; Direct3D 9 and msimg32 are loaded at run
# time, so that a system without them still starts the program. Also checks the GUI subsystem.
set -u
exe=$1
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
# ...and Direct3D 9 is still used: its name is there for the run-time load.
if ! grep -aq 'd3d9\.dll' "$exe"; then
    echo "onebox.exe does not name d3d9.dll: the screen is not loaded at run time"
    status=1
fi
if ! grep -Eq 'Subsystem\s+0*2\s' <<<"$headers"; then
    echo "onebox.exe is not a GUI-subsystem program"
    status=1
fi
if ! "$objdump" -f "$exe" | grep -q "file format pei-i386"; then
    echo "onebox.exe is not a 32-bit x86 program"
    status=1
fi
[ $status = 0 ] && echo "imports: $(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr '\n' ' ')"
exit $status
