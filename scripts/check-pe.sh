#!/usr/bin/env bash
# check-pe.sh DLL VERSION: checks what a shipped DLL (or program) says about
# itself and that its PDB (beside it, under the name its debug directory
# gives) belongs to it:
# - the VERSIONINFO resource gives VERSION as FileVersion and ProductVersion,
#   ProductName seatenrol and the DLL's own file name as OriginalFilename;
# - the header names the oldest Windows we support (cmake/windows-floor.cmake,
#   Windows Vista, 6.0) as OS and subsystem version, has no time stamp, and sets ASLR and no-execute data
#   (and the high-entropy address space on x86_64);
# - no DWARF (.debug_*) section is left in the DLL;
# - the PDB's GUID and age are those of the DLL's CodeView entry, and the
#   PDB turns the address of CRegisterSession::RegisterServer into that
#   function and a line of its source, as a debugger does;
# - on i686, the DLL registers its unwind tables with libgcc;
# - a program (.exe) carries its application manifest (the block at the end).
#
# check-pe.sh --toolchain DLL PROGRAM...: checks that the shipped DLL and
# every program (the Windows test programs and hosts) come from one
# toolchain: the same linker (the header's linker version: lld writes its
# own, 14.0; GNU ld 2.x) and the same TLS model for their own thread_local
# variables: native PE TLS (the TLS directory, and in the PDB the variables as
# thread storage, S_LTHREAD32/S_GTHREAD32) or emulated (__emutls_v.NAME
# symbols, as MinGW GCC makes them). The static GCC runtime's own emulated
# variables (libstdc++, libgcc, winpthread) are set aside.
# Tools of package llvm-14.
set -eu

# --toolchain: one linker and one TLS model across the files given.
check_toolchain() {
  local readobj=llvm-readobj-14 status=0 dll=$1 triple libdir runtime image
  case $("$readobj" --file-headers "$dll" | sed -n 's/^ *Arch: //p' | head -n 1) in
    i386) triple=i686-w64-mingw32 ;;
    x86_64) triple=x86_64-w64-mingw32 ;;
    *) echo "check-pe: $dll is no i386 or x86_64 PE file" >&2; return 1 ;;
  esac
  libdir=$(dirname "$("$triple-g++-posix" -print-file-name=libstdc++.a)")
  # The runtime's own emulated variables, by name.
  runtime=$(for archive in "$libdir"/libstdc++.a "$libdir"/libgcc.a "$libdir"/libgcc_eh.a \
    "/usr/$triple/lib/libwinpthread.a"; do
    [ -f "$archive" ] && llvm-nm-14 --defined-only "$archive" 2>/dev/null
  done | sed -n 's/^[0-9a-f]* [A-Za-z] \(__emutls_v\..*\)$/\1/p' | LC_ALL=C sort -u)
  local want_linker="" want_tls="" linker tls own native pdb names
  for image in "$@"; do
    if [ ! -f "$image" ]; then
      echo "check-pe: $image is not built" >&2
      status=1
      continue
    fi
    headers=$("$readobj" --file-headers "$image")
    linker=$(printf '%s\n' "$headers" | sed -n 's/^ *MajorLinkerVersion: //p').$(printf '%s\n' "$headers" |
      sed -n 's/^ *MinorLinkerVersion: //p')
    pdb=$(dirname "$image")/$("$readobj" --coff-debug-directory "$image" | sed -n 's/^ *PDBFileName: //p')
    # Names from the COFF symbol table (GNU ld keeps one) and from the PDB
    # (lld's): its publics and each module's own data and thread storage.
    records=""
    [ -f "$pdb" ] && records=$(llvm-pdbutil-14 dump --publics --symbols "$pdb" | grep -E '^ *[0-9]+ \| S_')
    names=$(
      llvm-nm-14 "$image" 2>/dev/null | sed -n 's/^[0-9a-f]* [A-Za-z] //p'
      printf '%s\n' "$records" | sed -n 's/^ *[0-9]* | S_[A-Z0-9]* \[size = [0-9]*\] `\(.*\)`$/\1/p'
    )
    own=$(printf '%s\n' "$names" | grep '^__emutls_v\.' | LC_ALL=C sort -u |
      LC_ALL=C comm -23 - <(printf '%s\n' "$runtime") | grep . || true)
    native=$(printf '%s\n' "$records" | grep -cE '\| S_[LG]THREAD32 ' || true)
    if [ -n "$own" ]; then
      tls=emulated
    elif [ "$native" -gt 0 ] || printf '%s\n' "$headers" | grep -q '^ *TLSTableRVA: 0x[0-9A-F]*[1-9A-F]'; then
      tls=native
    else
      tls=none
    fi
    echo "check-pe: $(basename "$image"): linker $linker, own thread_local variables $tls" \
      "($native native$([ -z "$own" ] || echo ", emulated: $(echo $own | head -c 200)"))"
    if [ -z "$want_linker" ]; then
      want_linker=$linker want_tls=$tls
      [ "$tls" = native ] || { echo "check-pe: $image: its thread_local variables are not native PE TLS" >&2; status=1; }
      continue
    fi
    if [ "$linker" != "$want_linker" ]; then
      echo "check-pe: $image was linked by linker $linker, $dll by $want_linker" >&2
      status=1
    fi
    if [ "$tls" = emulated ]; then
      echo "check-pe: $image emulates its thread_local variables, $dll keeps them in native PE TLS" >&2
      status=1
    fi
  done
  [ $status = 0 ] && echo "check-pe: $dll and $(($# - 1)) programs: one linker ($want_linker), native PE TLS"
  return $status
}
if [ "${1:-}" = --toolchain ]; then
  shift
  [ $# -ge 2 ] || { echo "usage: $0 --toolchain DLL PROGRAM..." >&2; exit 2; }
  check_toolchain "$@"
  exit
fi

[ $# -eq 2 ] || { echo "usage: $0 DLL VERSION | --toolchain DLL PROGRAM..." >&2; exit 2; }
dll=$1
version=$2
readobj=llvm-readobj-14
status=0
fail() {
  echo "check-pe: $dll: $*" >&2
  status=1
}

# VERSIONINFO: the resource's bytes as readobj dumps them, read as UTF-16 text,
# one string a line (the binary fields between them end lines).
hex=$("$readobj" --coff-resources "$dll" | sed -n '/Type: VERSIONINFO/,$p' |
  sed -n 's/^ *[0-9A-F]\{4,\}: \([0-9A-F ]*\)|.*/\1/p' | tr -d ' \n')
strings=""
for ((i = 0; i + 4 <= ${#hex}; i += 4)); do
  unit=${hex:i+2:2}${hex:i:2}
  if ((16#$unit >= 0x20 && 16#$unit < 0x7F)); then
    strings+=$(printf "\\x${hex:i:2}")
  else
    strings+=$'\n'
  fi
done
strings=$(printf '%s\n' "$strings" | grep . || true)
[ -n "$strings" ] || fail "no VERSIONINFO resource"
value_of() {
  printf '%s\n' "$strings" | grep -A1 -x -m1 "$1" | sed -n 2p
}
for pair in "FileVersion=$version" "ProductVersion=$version" ProductName=seatenrol \
  "OriginalFilename=$(basename "$dll")"; do
  key=${pair%%=*}
  want=${pair#*=}
  got=$(value_of "$key")
  [ "$got" = "$want" ] || fail "VERSIONINFO $key is '$got', not '$want'"
done

headers=$("$readobj" --file-headers "$dll")
field() {
  printf '%s\n' "$headers" | sed -n "s/^ *$1: //p" | head -n 1
}
# The oldest Windows we support, as cmake/windows-floor.cmake states it.
floor=$(sed -n 's/^set(SEATENROL_WINDOWS_FLOOR \(0x[0-9A-Fa-f]\{4\}\))$/\1/p' \
  "$(dirname "$0")/../cmake/windows-floor.cmake")
for kind in OperatingSystem Subsystem; do
  major=$(field "Major${kind}Version")
  minor=$(field "Minor${kind}Version")
  if [ "$((${major:-0} * 256 + ${minor:-0}))" != "$((floor))" ]; then
    fail "$kind version $major.$minor is not the oldest Windows we support, $((floor >> 8)).$((floor & 0xFF))"
  fi
done
case $(field TimeDateStamp) in
  *"(0x0)") ;;
  *) fail "time stamp $(field TimeDateStamp) (the link must insert none)" ;;
esac
wanted=(DYNAMIC_BASE NX_COMPAT)
[ "$(field Arch)" = x86_64 ] && wanted+=(HIGH_ENTROPY_VA)
for flag in "${wanted[@]}"; do
  printf '%s\n' "$headers" | grep -q "IMAGE_DLL_CHARACTERISTICS_$flag " ||
    fail "no $flag in its DLL characteristics"
done

debug_sections=$("$readobj" --sections "$dll" | sed -n 's/^ *Name: \(\.debug_[a-z_]*\) .*/\1/p')
[ -z "$debug_sections" ] || fail "DWARF left in: $(echo $debug_sections)"

directory=$("$readobj" --coff-debug-directory "$dll")
pdb_name=$(printf '%s\n' "$directory" | sed -n 's/^ *PDBFileName: //p')
pdb=$(dirname "$dll")/$pdb_name
if [ "$pdb_name" != "$(basename "${dll%.*}").pdb" ] || [ ! -f "$pdb" ]; then
  fail "its debug directory names the PDB '$pdb_name', which is not beside it by its own name"
else
  # The DLL gives the GUID's 16 bytes in order; the PDB prints it as a GUID,
  # whose first three fields are little-endian.
  read -r -a b <<<"$(printf '%s\n' "$directory" | sed -n 's/^ *PDBGUID: (\(.*\))$/\1/p')"
  dll_guid=${b[3]}${b[2]}${b[1]}${b[0]}-${b[5]}${b[4]}-${b[7]}${b[6]}-${b[8]}${b[9]}-${b[*]:10}
  dll_guid=${dll_guid// /}
  dll_age=$(printf '%s\n' "$directory" | sed -n 's/^ *PDBAge: //p')
  summary=$(llvm-pdbutil-14 dump --summary "$pdb")
  pdb_guid=$(printf '%s\n' "$summary" | sed -n 's/^ *GUID: {\(.*\)}$/\1/p')
  pdb_age=$(printf '%s\n' "$summary" | sed -n 's/^ *Age: //p')
  if [ "$dll_guid/$dll_age" != "$pdb_guid/$pdb_age" ]; then
    fail "wants the PDB {$dll_guid} age $dll_age; $pdb is {$pdb_guid} age $pdb_age"
  fi
  # On i686 libgcc unwinds by the DWARF tables the DLL registers at start-up
  # through GCC's crtbegin.o; without it the first exception thrown inside
  # ends the process.
  if [ "$(field Arch)" = i386 ] &&
    ! llvm-pdbutil-14 dump --publics "$pdb" | grep -q '`___gcc_register_frame`'; then
    fail "registers no unwind tables (linked without GCC's crtbegin.o)"
  fi
  base=$(field ImageBase)
  rva=$("$readobj" --coff-exports "$dll" |
    grep -A1 -x '  Name: _ZN16CRegisterSession14RegisterServerEPhS0_S0_i' | sed -n 's/^ *RVA: //p')
  where=$(llvm-symbolizer-14 --obj="$dll" "$(printf '0x%X' $((base + rva)))")
  # (the i686 answer names the function by its public, GCC-mangled name)
  procedure='^(CRegisterSession::RegisterServer\(|_ZN16CRegisterSession14RegisterServerE)'
  if ! printf '%s\n' "$where" | grep -qE "$procedure" ||
    ! printf '%s\n' "$where" | grep -qE '\\src\\[a-z_\\]+\.cpp:[1-9][0-9]*:'; then
    fail "$pdb does not give CRegisterSession::RegisterServer with its source line: $where"
  fi
fi

# A program's application manifest: resource type 24 (RT_MANIFEST) id 1,
# asking for asInvoker, long paths, and naming as supported each Windows from
# the oldest we support on (the ids of cmake/windows-floor.cmake).
manifest_note=""
if [[ $dll == *.exe ]]; then
  floor_file=$(dirname "$0")/../cmake/windows-floor.cmake
  floor=$(sed -n 's/^set(SEATENROL_WINDOWS_FLOOR \(0x[0-9A-Fa-f]\{4\}\))$/\1/p' "$floor_file")
  manifest=$("$readobj" --coff-resources "$dll" |
    awk '/^  Type: / { in24 = ($0 ~ /\(ID 24\)/) } in24' |
    awk '/^    Name: / { id1 = ($0 ~ /\(ID 1\)/) } id1' |
    sed -n 's/^ *[0-9A-F]\{4,\}: \([0-9A-F ]*\)|.*/\1/p' | tr -d ' \n' |
    python3 -c 'import binascii, sys; sys.stdout.write(binascii.unhexlify(sys.stdin.read()).decode("utf-8", "replace"))')
  if [ -z "$manifest" ]; then
    fail "no application manifest (resource type 24, id 1)"
  else
    flat=$(printf '%s' "$manifest" | tr -s ' \n\r\t' ' ')
    printf '%s' "$flat" | grep -q '<requestedExecutionLevel level="asInvoker"' ||
      fail "its manifest does not ask for asInvoker"
    printf '%s' "$flat" | grep -qE '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings"> ?true ?</longPathAware>' ||
      fail "its manifest is not longPathAware"
    declared=0
    while read -r release id; do
      if [ "$((release))" -ge "$((floor))" ]; then
        if printf '%s' "$flat" | grep -qF "<supportedOS Id=\"$id\"/>"; then
          declared=$((declared + 1))
        else
          fail "its manifest does not name Windows $((release >> 8)).$((release & 0xFF)) ($id) as supported"
        fi
      elif printf '%s' "$flat" | grep -qF "$id"; then
        fail "its manifest names Windows $((release >> 8)).$((release & 0xFF)), older than we support"
      fi
    done < <(sed -n 's/^ *\(0x[0-9A-Fa-f]\{4\}\)=\({[0-9a-f-]*}\).*/\1 \2/p' "$floor_file")
    manifest_note="; its manifest asks for asInvoker and long paths and names $declared Windows releases"
  fi
fi

[ $status = 0 ] && echo "check-pe: $dll is version $version for Windows" \
  "$(field MajorOperatingSystemVersion).$(field MinorOperatingSystemVersion) and later, without a" \
  "time stamp or DWARF; $pdb_name ({$pdb_guid}, age $pdb_age) gives its functions and lines$manifest_note"
exit $status
